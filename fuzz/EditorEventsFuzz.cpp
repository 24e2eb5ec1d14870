// Random editor sessions on the sample movie: each input is a program of events and answers
// (see EditorEventScript.h). After every event the undo button must be enabled exactly when
// the movie has a step to undo, and once everything open is answered no modal level may be
// left. Needs the sample content of a normal build (build/content, or SL_CONTENT); without
// it the target fails at start.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/services/AppClasses.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorConnections.h"
#include "fuzz/EditorEventScript.h"
#include "fuzz/FuzzProgram.h"
#include "platform/kernel32/Modules.h"

namespace {

// exit() destroys the main thread's thread data before any exit handler runs, and the
// program's teardown needs it; so the process leaves at once with its status, before the
// framework's own exit-time teardown, and the system reclaims the rest.
void LeaveAtOnce(int status, void*) { std::_Exit(status); }

// The editor on the sample content, opened once for the process; null when it cannot be.
const char* Start() {
  const char* env = std::getenv("SL_CONTENT");
  static const std::string content = env ? env : SL_CONTENT_DIR;
  static const std::string program = content + "/Zarandulvortequimbaplastelo";
  if (!std::filesystem::exists(content + "/contentgen.stamp")) return "no sample content";
  SLRegisterAppClasses();
  SLPlatformSetProgramFileName(program.c_str());
  App_Init();
  EditorConnections_Install();
  CommonUi_Load();
  const bool opened = editor_events::OpenEditor(content, "Paseo en el parque");
  on_exit(&LeaveAtOnce, nullptr);  // runs before the handlers registered ahead of it
  return opened ? nullptr : "the editor does not open on the sample movie";
}

}  // namespace

// Without the editor every input would return at once and the run would look clean, so a
// target that cannot open it stops before its first input and says why.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* problem = Start()) {
    const char* env = std::getenv("SL_CONTENT");
    std::fprintf(stderr, "EditorEventsFuzz: %s in %s (make it with contentgen and name it in SL_CONTENT)\n",
                 problem, env ? env : SL_CONTENT_DIR);
    std::_Exit(1);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SLFuzzProgram program{data, size};
  editor_events::Script script([&program] {
    u32 value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | program.Take();
    return value;
  }, "Paseo en el parque");
  const std::size_t steps = size / 8;
  for (std::size_t i = 0; i < steps && i < 400; ++i) {
    script.Step();
    if (ModalStack_GetDepth() == 0) SLFuzzCheck(editor_events::UndoButtonEnabled() == editor_events::UndoHasStep());
  }
  SLFuzzCheck(script.AnswerAll());
  SLFuzzCheck(ModalStack_GetDepth() == 0);
  SLFuzzCheck(editor_events::UndoButtonEnabled() == editor_events::UndoHasStep());
  return 0;
}
