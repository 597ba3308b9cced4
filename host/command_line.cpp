#include "command_line.h"

#include <getopt.h>
#include <map>

#include "chosen_colours.h"
#include "quoting.h"

const char kUsage[] =
    "usage: pavonize [OPTIONS] INPUT OUTPUT\n"
    "       pavonize [OPTIONS] --pairs INPUT OUTPUT [INPUT OUTPUT]...\n"
    "       pavonize [OPTIONS] -o DIR INPUT...\n"
    "       pavonize [OPTIONS] --in-place INPUT...\n";

const char kHelp[] =
    "Recolour grey images in four false colours.\n"
    "\n"
    "Each INPUT is read, its pixels are sorted into four bands by grey level and\n"
    "painted with four colours, and the result is written to OUTPUT (which may\n"
    "be INPUT itself). More than two paths need --pairs, -o or --in-place.\n"
    "Without --colours the library draws the colours: the images of a run take\n"
    "the next four of one sequence in turn (with -j, in the order they reach\n"
    "the colouring).\n"
    "\n"
    "Bands: a pixel's grey level gives its band, and band N is painted with\n"
    "palette entry N (the colour N+1 of --colours):\n"
    "  grey 0-63     band 0\n"
    "  grey 64-127   band 1\n"
    "  grey 128-191  band 2\n"
    "  grey 192-255  band 3\n"
    "\n"
    "Options:\n"
    "  --pairs               recolour each INPUT into the OUTPUT that follows it\n"
    "  -o, --output-dir DIR  write each INPUT to DIR under its own file name\n"
    "  --in-place            replace each INPUT by its recoloured image\n"
    "  --colours LIST        paint bands 0-3 with these four colours in every\n"
    "                        image: #RRGGBB or RRGGBB, separated by commas\n"
    "  --colors LIST         the same as --colours\n"
    "  -k, --keep-going      after a failed image, go on with the rest (the\n"
    "                        default)\n"
    "  -S, --stop            stop at the first failed image\n"
    "  -j, --jobs N          recolour N images at a time (default 1; 0: one per\n"
    "                        core); messages still come in the order given\n"
    "  -q, --quiet           print nothing on standard output; show progress on\n"
    "                        standard error when it is a terminal\n"
    "  -h, --help            show this help and exit\n"
    "  -V, --version         show the version read from the library, the\n"
    "                        copyright and the licence, and exit\n"
    "  --about               show the library's version block, type library and\n"
    "                        string table, and exit\n"
    "  --                    treat every later argument as a path\n"
    "\n"
    "Formats: 8-bit BMP, and PNG, TIFF, JPEG and PGM/PPM at 8 or 16 bits (in\n"
    "builds with their decoders), told by their first bytes; 16-bit samples by\n"
    "their top eight bits, colour by Pillow's convert(\"L\") luma. An OUTPUT\n"
    "named *.png (any case) is an indexed PNG, any other a BMP. For a file of\n"
    "another depth or format (GIF, WebP, PBM and others) the failure gives the\n"
    "conversion for that file; in general:\n"
    "  convert in.gif -colorspace Gray +dither -type Palette -compress RLE \\\n"
    "      BMP3:grey.bmp\n"
    "\n"
    "Standard output carries the library's messages only, one line each (none\n"
    "with -q), so '-' and an OUTPUT that is standard output are refused; a\n"
    "failed write there fails the run. Why each image failed, the summary and\n"
    "usage errors go to standard error, with file names quoted as the shell\n"
    "reads them; --help, --version and --about print on standard output.\n"
    "\n"
    "Exit status:\n"
    "  0  every image was recoloured\n"
    "  1  an image could not be read, was refused, or could not be written\n"
    "     (each is named, with the reason), standard output could not be\n"
    "     written, or the library could not be loaded\n"
    "  2  the command line was wrong; nothing was read or written\n";

namespace {

enum LongOnlyOption { kPairs = 256, kInPlace, kAbout, kColours };

// -j's value: a whole number up to kMaxJobsAtOnce.
bool ParseJobs(const std::string& text, size_t* jobs, std::string* problem)
{
    size_t value = 0;
    bool valid = !text.empty() && text.size() <= 4;
    for (char c : text) {
        valid = valid && c >= '0' && c <= '9';
        value = value * 10 + static_cast<size_t>(c - '0');
    }
    if (!valid || value > kMaxJobsAtOnce) {
        *problem = "-j takes a number of images at a time, 0 to " + std::to_string(kMaxJobsAtOnce) +
                   " (0: one per core), not " + QuotedName(text);
        return false;
    }
    *jobs = value;
    return true;
}

const option kOptions[] = {
    {"pairs", no_argument, nullptr, kPairs},
    {"output-dir", required_argument, nullptr, 'o'},
    {"in-place", no_argument, nullptr, kInPlace},
    {"colours", required_argument, nullptr, kColours},
    {"colors", required_argument, nullptr, kColours},
    {"keep-going", no_argument, nullptr, 'k'},
    {"stop", no_argument, nullptr, 'S'},
    {"jobs", required_argument, nullptr, 'j'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"about", no_argument, nullptr, kAbout},
    {nullptr, 0, nullptr, 0},
};

// The option getopt_long stopped at, as the user wrote it.
std::string OptionName(char** argv)
{
    if (optopt > 0 && optopt < 128) {
        return std::string("-") + static_cast<char>(optopt);
    }
    return argv[optind - 1];
}

bool Fail(std::string* problem, std::string text)
{
    *problem = std::move(text);
    return false;
}

// The file name of a path: what follows its last slash.
std::string FileName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool JobsForOutputDirectory(const std::vector<std::string>& inputs, const std::string& directory,
                            HostRequest* request, std::string* problem)
{
    std::string prefix = directory.back() == '/' ? directory : directory + "/";
    std::map<std::string, std::string> inputByName;
    for (const std::string& input : inputs) {
        std::string name = FileName(input);
        if (name.empty() || name == "." || name == "..") {
            return Fail(problem, QuotedName(input) + " names no file");
        }
        auto [earlier, isNew] = inputByName.emplace(name, input);
        if (!isNew) {
            return Fail(problem, QuotedName(earlier->second) + " and " + QuotedName(input) +
                                     " would both be written to " + QuotedName(prefix + name));
        }
        request->jobs.push_back({input, prefix + name});
    }
    return true;
}

bool JobsForForm(const std::vector<std::string>& paths, bool pairs, bool inPlace,
                 HostRequest* request, std::string* problem)
{
    if (paths.empty()) {
        return Fail(problem, "no image given");
    }
    if (!request->outputDirectory.empty()) {
        request->form = BatchForm::OutputDirectory;
        return JobsForOutputDirectory(paths, request->outputDirectory, request, problem);
    }
    if (inPlace) {
        request->form = BatchForm::InPlace;
        for (const std::string& path : paths) {
            request->jobs.push_back({path, path});
        }
        return true;
    }
    if (pairs ? paths.size() % 2 != 0 : paths.size() != 2) {
        if (pairs) {
            return Fail(problem, "--pairs takes INPUT OUTPUT pairs, and " +
                                     std::to_string(paths.size()) + " paths were given");
        }
        if (paths.size() == 1) {
            return Fail(problem, "an OUTPUT is needed after INPUT");
        }
        return Fail(problem, std::to_string(paths.size()) +
                                 " paths given, and one image takes two: for more, use "
                                 "--pairs INPUT OUTPUT..., -o DIR INPUT... or --in-place INPUT...");
    }
    request->form = pairs ? BatchForm::Pairs : BatchForm::OneImage;
    for (size_t i = 0; i < paths.size(); i += 2) {
        request->jobs.push_back({paths[i], paths[i + 1]});
    }
    return true;
}

// Every path is checked before the first image is touched. Any byte string
// is a path: the library is handed it unchanged.
bool CheckPathTexts(const std::vector<std::string>& paths, HostRequest* request,
                    std::string* problem)
{
    bool dash = request->outputDirectory == "-";
    for (const std::string& path : paths) {
        dash = dash || path == "-";
    }
    if (dash) {
        return Fail(
            problem,
            "'-' is not accepted as a path: standard output carries the library's messages");
    }
    return true;
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, HostRequest* request, std::string* problem)
{
    bool pairs = false;
    bool inPlace = false;
    bool outputDirectoryGiven = false;
    optind = 1;
    opterr = 0;  // its messages are ours to word
    int choice = 0;
    while ((choice = getopt_long(argc, argv, ":o:kSj:qhV", kOptions, nullptr)) != -1) {
        switch (choice) {
        case kPairs:
            pairs = true;
            break;
        case 'o':
            outputDirectoryGiven = true;
            request->outputDirectory = optarg;
            if (request->outputDirectory.empty()) {
                return Fail(problem, "the output folder is an empty path");
            }
            break;
        case kInPlace:
            inPlace = true;
            break;
        case kColours:
            if (!ParseColourList(optarg, &request->chosenColours, problem)) {
                return false;
            }
            break;
        case 'j':
            if (!ParseJobs(optarg, &request->jobsAtOnce, problem)) {
                return false;
            }
            break;
        case 'k':
        case 'S':
            request->stopAtFailure = choice == 'S';  // the last one given counts, as in make
            break;
        case 'q':
            request->quiet = true;
            break;
        case 'h':
            request->action = HostAction::Help;
            return true;
        case 'V':
        case kAbout:
            if (argc != 2) {
                return Fail(problem, std::string(argv[optind - 1]) + " takes no other arguments");
            }
            request->action = choice == 'V' ? HostAction::Version : HostAction::About;
            return true;
        case ':':
            return Fail(problem, "option " + OptionName(argv) + " needs a value");
        default:
            return Fail(problem, "unknown option " + OptionName(argv));
        }
    }
    if (pairs + inPlace + outputDirectoryGiven > 1) {
        return Fail(problem, "use only one of --pairs, -o and --in-place");
    }
    std::vector<std::string> paths(argv + optind, argv + argc);
    return CheckPathTexts(paths, request, problem) &&
           JobsForForm(paths, pairs, inPlace, request, problem);
}
