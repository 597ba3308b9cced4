#include "command_line.h"

ProcessResult Pavonize(const std::vector<std::string>& arguments, const ProcessOptions& options)
{
    std::vector<std::string> argv{PAVONIZE_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunBuiltProgram(argv, options);
}

Bytes SmallImage()
{
    BmpLayout layout{.width = 5,
                     .height = 3,
                     .palette = GreyRampPalette(),
                     .rows = MakeRows(5, 3, [](int x, int y) { return 50 * x + y; })};
    return BuildBmp(layout);
}
