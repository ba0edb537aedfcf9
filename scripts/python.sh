# Sourced by the scripts that read match logs with scripts/matchlog.py.
#
# They run Debian's own interpreter: the python3 first on PATH may be another
# one (pyenv, a virtual environment) without the system's matplotlib.
PYTHON=/usr/bin/python3

# Makes sure $PYTHON can import matplotlib, installing Debian's
# python3-matplotlib (which brings python3) when run as root. $1 names the
# calling script in messages. Returns non-zero, with the reason, when it
# cannot.
require_matplotlib() {
  local who=$1 log
  if [ -x "$PYTHON" ] && "$PYTHON" -c 'import matplotlib' 2>/dev/null; then
    return 0
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "$who: Python 3 with matplotlib is missing; install it as root with" \
      "'apt-get install python3-matplotlib'" >&2
    return 1
  fi
  echo "$who: installing python3-matplotlib" >&2
  log=$(mktemp)
  if ! { DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3-matplotlib ||
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3-matplotlib; }; } \
    >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    rm -f "$log"
    echo "$who: could not install python3-matplotlib" >&2
    return 1
  fi
  rm -f "$log"
  "$PYTHON" -c 'import matplotlib' || { echo "$who: matplotlib does not load after installing it" >&2; return 1; }
}
