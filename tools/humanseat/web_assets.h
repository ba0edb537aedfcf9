// The page's files (HTML, CSS, JavaScript), compiled into the program at
// build time from web/, so that it serves them wherever it runs.
#ifndef HUMANSEAT_WEB_ASSETS_H
#define HUMANSEAT_WEB_ASSETS_H

#include <cstddef>

namespace humanseat {

struct WebAsset {
  const char* path;         // as requested, such as "/app.js"
  const char* contentType;
  const char* body;
};

extern const WebAsset kWebAssets[];
extern const size_t kNumWebAssets;

}  // namespace humanseat

#endif  // HUMANSEAT_WEB_ASSETS_H
