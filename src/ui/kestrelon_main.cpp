// The desktop Controller's entry point. "--version" is answered before the
// window system starts, so it works without a display (scripts, packaging).
#include <cstdio>
#include <cstring>

#include "ui/shadow_app.h"

wxIMPLEMENT_APP_NO_MAIN(CShadowApp);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("kestrelon %s\n", KESTRELON_FILE_VERSION);
      return 0;
    }
  }
  return wxEntry(argc, argv);
}
