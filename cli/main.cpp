// wyn: where a run starts: the language server is handed its own
// arguments; every other command is read from the option table and run.
#include <string.h>

#include <new>

#include "lsp.h"
#include "output.h"
#include "render.h"
#include "tool.h"

int main(int argc, char** argv) {
  argv = output_args(&argc, argv);
  if (argc >= 2 && !strcmp(argv[1], "lsp")) {
    // Its help is the tool's, from the one page.
    for (int i = 2; i < argc; i++)
      if (!strcmp(argv[i], "-h") || !strcmp(argv[i], "--help")) {
        output_init();
        help_write_command("lsp");
        return EXIT_DONE;
      }
    return wyn::lsp::lsp_main(argc - 1, argv + 1);
  }
  output_init();
  Options opt;
  if (int rc = options_read(argc, argv, &opt); rc != RUN_COMMAND) return rc;
  if (!view_setup(opt)) return EXIT_ERROR;
  // Memory running out anywhere in a command ends it here, with what it
  // was at work on named and nothing half-written left behind.
  try {
    if (opt.css) return cmd_css(opt);
    return command_run(opt);
  } catch (const std::bad_alloc&) {
    return out_of_memory();
  }
}
