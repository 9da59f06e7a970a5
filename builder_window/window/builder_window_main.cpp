// The builder window's entry point. It runs kestrelon-builder, found beside this
// program first (the two are installed in one folder), else on the PATH.
// "--version" is answered before the window system starts.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <wx/app.h>

#include "core/builder_texts.h"
#include "platform/program_exec.h"
#include "window/builder_frame.h"

namespace {

class BuilderApp : public wxApp {
 public:
  bool OnInit() override {
    SetAppName("kestrelon-builder-window");
    SetAppDisplayName("Kestrelon Client Builder");
    kestrelon::builder_window::BuilderEnvironment environment;
    environment.find_builder = [] {
      const char* path = std::getenv("PATH");
      return kestrelon::find_executable(kestrelon::builder_window::text::kBuilderProgram, kestrelon::program_folder(),
                                        path ? path : "");
    };
    environment.root = ::geteuid() == 0;
    auto* frame = new BuilderFrame(std::move(environment));
    frame->Centre();
    frame->Show();
    SetTopWindow(frame);
    return true;
  }
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(BuilderApp);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("kestrelon-builder-window %s\n", KESTRELON_FILE_VERSION);
      return 0;
    }
  }
  return wxEntry(argc, argv);
}
