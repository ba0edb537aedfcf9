#include "common/util.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

std::minstd_rand0& global_urng() {
  static std::minstd_rand0 engine(1);
  return engine;
}

void randomize() {
  static std::random_device device("default");
  global_urng().seed(device());
}

int pick_a_number(int low, int high) {
  static std::uniform_int_distribution<int> dist(0, 2147483647);
  return dist(global_urng(), std::uniform_int_distribution<int>::param_type(low, high));
}

double pick_a_number(double low, double high) {
  static std::uniform_real_distribution<double> dist(0.0, 1.0);
  return dist(global_urng(), std::uniform_real_distribution<double>::param_type(low, high));
}

void shuffle(uint8_t* deck, int count, int size) {
  for (int i = 0; i < count; ++i) {
    const int j = pick_a_number(0, size - 1);
    const uint8_t t = deck[i];
    deck[i] = deck[j];
    deck[j] = t;
  }
}

DirectoryLock::DirectoryLock(const std::string& directory, const std::string& waiting) {
  fd_ = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return;
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
  std::printf("%s\n", waiting.c_str());
  std::fflush(stdout);
  while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
  }
}

DirectoryLock::~DirectoryLock() {
  if (fd_ >= 0) close(fd_);
}

bool file_exist(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

void makeParentDirectories(const std::string& path) {
  for (size_t slash = path.find('/'); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string dir = path.substr(0, slash);
    if (!dir.empty() && mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return;
  }
}

namespace {

int64_t freeSpaceForTesting = -1;

// Bytes as "1.2 GB", "3.4 MB" or "512 bytes".
std::string sizeText(uint64_t bytes) {
  char text[32];
  if (bytes >= 1000000000)
    std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
  else if (bytes >= 1000000)
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  else
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  return text;
}

}  // namespace

void setFreeSpaceForTesting(int64_t bytes) { freeSpaceForTesting = bytes; }

bool enoughFreeSpace(const std::string& path, uint64_t bytes) {
  uint64_t available;
  if (freeSpaceForTesting >= 0) {
    available = static_cast<uint64_t>(freeSpaceForTesting);
  } else {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct statvfs fs;
    if (statvfs(dir.c_str(), &fs) != 0) return true;
    available = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
  }
  if (bytes <= available) return true;
  std::fflush(stdout);
  std::fprintf(stderr, "ERROR: not enough free disk space to write %s: it needs %s, %s are free\n",
               path.c_str(), sizeText(bytes).c_str(), sizeText(available).c_str());
  return false;
}

namespace {

template <typename T>
T* loadTable(const char* path, size_t n) {
  T* arr = new T[n];
  std::memset(arr, 0, n * sizeof(T));
  FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::fprintf(stderr, "ERROR: cannot open table file %s\n", path);
    std::exit(1);
  }
  // A short file leaves the rest zero; callers that must not accept that check
  // the size with table_file_ok before loading.
  size_t got = std::fread(arr, sizeof(T), n, file);
  (void)got;
  std::fclose(file);
  return arr;
}

// Reports a failed write the way a failed assertion would, naming the
// condition that did not hold, and stops the program.
[[noreturn]] void writeFailed(const char* condition, const char* path) {
  std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", __FILE__, __LINE__,
               "saveTable", condition);
  std::fprintf(stderr, "ERROR: could not write table file %s\n", path);
  std::abort();
}

template <typename T>
void saveTable(const char* path, const T* arr, size_t size, const char* condition) {
  if (!enoughFreeSpace(path, size * sizeof(T))) std::exit(1);
  const std::string tmp = std::string(path) + ".tmp";
  FILE* file = std::fopen(tmp.c_str(), "wb");
  if (!file) {
    std::fprintf(stderr, "ERROR: cannot create table file %s\n", tmp.c_str());
    std::exit(1);
  }
  const bool written = std::fwrite(arr, sizeof(T), size, file) == size;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    unlink(tmp.c_str());
    writeFailed(condition, path);
  }
  if (std::rename(tmp.c_str(), path) != 0) {
    unlink(tmp.c_str());
    std::fprintf(stderr, "ERROR: cannot rename %s to %s\n", tmp.c_str(), path);
    std::exit(1);
  }
}

}  // namespace

int* loadIntTable(const char* path, size_t n) { return loadTable<int>(path, n); }
uint8_t* loadByteTable(const char* path, size_t n) { return loadTable<uint8_t>(path, n); }
uint16_t* loadShortTable(const char* path, size_t n) { return loadTable<uint16_t>(path, n); }
double* loadDoubleTable(const char* path, size_t n) { return loadTable<double>(path, n); }

void saveIntTable(const char* path, int* arr, size_t n) {
  saveTable(path, arr, n, "fwrite(arr, sizeof (int), size, file)==size");
}
void saveByteTable(const char* path, uint8_t* arr, size_t n) {
  saveTable(path, arr, n, "fwrite(arr, sizeof (uint8_t), size, file)==size");
}
void saveShortTable(const char* path, uint16_t* arr, size_t n) {
  saveTable(path, arr, n, "fwrite(arr, sizeof (uint16_t), size, file)==size");
}
void saveDoubleTable(const char* path, double* arr, size_t n) {
  saveTable(path, arr, n, "fwrite(arr, sizeof (double), size, file)==size");
}

bool table_file_ok(const std::string& path, size_t bytes) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode) || static_cast<unsigned long long>(st.st_size) != bytes) {
    std::printf("Warning: %s has %lld bytes, expected %zu; it is generated again\n",
                path.c_str(), static_cast<long long>(st.st_size), bytes);
    std::fflush(stdout);
    return false;
  }
  return true;
}

std::vector<std::string>& split(const std::string& text, char delimiter,
                                std::vector<std::string>& out) {
  std::stringstream stream(text);
  std::string piece;
  while (std::getline(stream, piece, delimiter)) out.push_back(piece);
  return out;
}

std::vector<std::string> split(const std::string& text, char delimiter) {
  std::vector<std::string> out;
  split(text, delimiter, out);
  return out;
}

void printHand(uint8_t* cards, int n) {
  char line[30];
  printCards(n, cards, sizeof(line), line);
  std::printf("%s\n", line);
}

// Lloyd's k-means: points are assigned to their nearest centroid (ties to the
// lower cluster), centroids move to the mean of their points, until the total
// squared distance changes by at most t between two passes. A cluster left
// without points gets the zero vector as its centroid.
uint8_t* k_means(double** data, int n, int m, int k, double t, double** centroids) {
  assert(data && k > 0 && k <= n && m > 0 && t >= 0);
  uint8_t* labels = static_cast<uint8_t*>(std::calloc(n, sizeof(uint8_t)));
  std::vector<int> counts(k);
  std::vector<double> sums(static_cast<size_t>(k) * m);
  std::vector<double> own;
  std::vector<double*> rows;
  double** c = centroids;
  if (!c) {
    own.resize(static_cast<size_t>(k) * m);
    rows.resize(k);
    for (int i = 0; i < k; ++i) rows[i] = own.data() + static_cast<size_t>(i) * m;
    c = rows.data();
  }
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < m; ++j) c[i][j] = data[i * (n / k)][j];

  double error = DBL_MAX;
  double previous;
  do {
    previous = error;
    error = 0;
    std::fill(counts.begin(), counts.end(), 0);
    std::fill(sums.begin(), sums.end(), 0.0);
    for (int h = 0; h < n; ++h) {
      int best = 0;
      double bestDistance = DBL_MAX;
      for (int i = 0; i < k; ++i) {
        double d = 0;
        for (int j = m - 1; j >= 0; --j) {
          const double diff = data[h][j] - c[i][j];
          d += diff * diff;
        }
        if (d < bestDistance) {
          bestDistance = d;
          best = i;
        }
      }
      labels[h] = static_cast<uint8_t>(best);
      ++counts[best];
      double* sum = sums.data() + static_cast<size_t>(best) * m;
      for (int j = 0; j < m; ++j) sum[j] += data[h][j];
      error += bestDistance;
    }
    for (int i = 0; i < k; ++i) {
      const double* sum = sums.data() + static_cast<size_t>(i) * m;
      for (int j = 0; j < m; ++j) c[i][j] = counts[i] ? sum[j] / counts[i] : sum[j];
    }
  } while (std::fabs(error - previous) > t);
  return labels;
}
