#include "cli/convert_command.h"

int main(int argc, char** argv) {
    return mv::cli::runMain(argc, argv);
}
