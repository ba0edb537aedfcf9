# Sourced by the scripts that read match logs with scripts/matchlog.py.
#
# They run Debian's own interpreter: the python3 first on PATH may be another
# one (pyenv, a virtual environment) without the system's matplotlib.
PYTHON=/usr/bin/python3
