// `pavonize --help` and the manual page describe the program that really
// runs: the options are taken from --help itself, so an option added to the
// program and its help is caught here until the manual page has it too. The
// same holds for the library's calls and their manual pages, and for the
// options the README and the docs' commands use.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"

namespace {

using Names = std::set<std::string>;

std::string HelpText()
{
    ProcessResult help = RunBuiltProgram({PAVONIZE_EXE, "--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.err, "");
    return help.out;
}

std::string FileText(const char* path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_FALSE(text.str().empty()) << path;
    return text.str();
}

std::string ManualSource()
{
    return FileText(PAVONIZE_MANUAL);
}

// The command line's guide, docs/command-line.md.
std::string CommandLineGuide()
{
    return FileText(PAVONIZE_DOCS "/command-line.md");
}

// Every capture of `pattern`'s first group in `text`.
Names Captures(const std::string& text, const std::string& pattern)
{
    Names found;
    std::regex expression(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), expression);
         it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1]);
    }
    return found;
}

// What the bash completion offers for the words typed so far.
Names Completions(const std::string& words)
{
    ProcessResult run = RunProcess(
        {"/bin/bash", "-c",
         "source \"$0\" && read -ra COMP_WORDS <<<\"$1\" && COMP_CWORD=${#COMP_WORDS[@]} && "
         "COMP_WORDS+=(\"$2\") && _pavonize && printf '%s\\n' \"${COMPREPLY[@]}\"",
         PAVONIZE_COMPLETION, words.substr(0, words.rfind(' ')),
         words.substr(words.rfind(' ') + 1)});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    return Captures(run.out, "([^\n]+)\n");
}

// The body of one ".SH NAME" section of the manual page.
std::string ManualSection(const std::string& manual, const std::string& name)
{
    size_t start = manual.find("\n.SH " + name + "\n");
    if (start == std::string::npos) {
        ADD_FAILURE() << "no section " << name;
        return "";
    }
    start += name.size() + 6;
    size_t end = manual.find("\n.SH ", start);
    return manual.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// roff writes a dash as "\-".
std::string Unescaped(std::string text)
{
    for (size_t at = text.find("\\-"); at != std::string::npos; at = text.find("\\-", at)) {
        text.erase(at, 1);
    }
    return text;
}

// The words that start with a dash in each of `heads`: "-o, --output-dir DIR"
// gives -o and --output-dir.
Names OptionWords(const Names& heads)
{
    Names options;
    for (const std::string& head : heads) {
        Names words = Captures(" " + head, R"([ ,](-[^ ,]*))");
        options.insert(words.begin(), words.end());
    }
    return options;
}

// "  -o, --output-dir DIR  what it does" lines of --help.
Names HelpOptions(const std::string& help)
{
    return OptionWords(Captures(help, R"(\n  (-.*?)  )"));
}

// ".TP" then a line of bold options, ".B \-o\fR, \fB\-\-output\-dir \fIDIR", in the
// OPTIONS section.
Names ManualOptions(const std::string& manual)
{
    std::string section = Unescaped(ManualSection(manual, "OPTIONS"));
    section = std::regex_replace(section, std::regex(R"(\\f[BIRP])"), "");
    return OptionWords(Captures(section, R"(\.TP\n\.B (.*)\n)"));
}

TEST(HelpAndManualTest, EveryOptionInTheHelpIsAcceptedAndInTheManual)
{
    Names options = HelpOptions(HelpText());
    ASSERT_TRUE(options.count("--help") && options.count("-V")) << "help lists no options";
    for (const std::string& option : options) {
        ProcessResult result = RunBuiltProgram({PAVONIZE_EXE, option});
        EXPECT_EQ(result.err.find("unknown option"), std::string::npos) << option;
        EXPECT_NE(result.exitStatus, -1) << option << " did not exit normally";
    }
    EXPECT_EQ(ManualOptions(ManualSource()), options);
    EXPECT_EQ(Completions("pavonize -"), options);
    std::string guide = CommandLineGuide();
    for (const std::string& option : options) {
        EXPECT_NE(guide.find("`" + option), std::string::npos)
            << option << " is not in docs/command-line.md";
    }

    // What the check above relies on: a made-up option is turned away.
    ProcessResult unknown = RunBuiltProgram({PAVONIZE_EXE, "--no-such-option"});
    EXPECT_EQ(unknown.exitStatus, 2);
    EXPECT_NE(unknown.err.find("unknown option --no-such-option"), std::string::npos);
}

TEST(HelpAndManualTest, BothGiveTheExitStatusesAndWhereOutputGoes)
{
    std::string help = HelpText();
    std::string manual = ManualSource();
    const Names statuses = {"0", "1", "2"};
    EXPECT_EQ(Captures(help, R"(\n  ([0-9]+)  )"), statuses);
    EXPECT_EQ(Captures(ManualSection(manual, "EXIT STATUS"), R"(\.TP\n\.B ([0-9]+)\n)"), statuses);

    std::string output = ManualSection(manual, "OUTPUT");
    for (const std::string& text : {help, output}) {
        EXPECT_NE(text.find("OUTPUT"), std::string::npos);
        EXPECT_NE(text.find("Standard output carries the library's messages"), std::string::npos);
        EXPECT_NE(text.find("go to standard error"), std::string::npos);
    }
    // The conversion that makes any image acceptable (the help continues it
    // on a second line), and the legend of the bands.
    std::string joinedHelp = std::regex_replace(help, std::regex(R"( \\\n +)"), " ");
    for (const std::string& text : {joinedHelp, Unescaped(manual), CommandLineGuide()}) {
        EXPECT_NE(text.find("convert in.gif -colorspace Gray +dither -type Palette -compress RLE "
                            "BMP3:grey.bmp"),
                  std::string::npos);
        for (const char* band : {"grey 0-63     band 0", "grey 64-127   band 1",
                                 "grey 128-191  band 2", "grey 192-255  band 3"}) {
            EXPECT_NE(text.find(band), std::string::npos) << band;
        }
    }
}

// The `pavonize` commands of the ```sh blocks of `text`, each from the word
// after "pavonize" to the end of its line, comments left out.
std::vector<std::string> DocumentedCommands(const std::string& text)
{
    std::vector<std::string> commands;
    bool inShell = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("```")) {
            inShell = !inShell && line == "```sh";
            continue;
        }
        std::smatch found;
        if (inShell &&
            std::regex_search(line, found, std::regex(R"((?:^|[\s/])pavonize"?( .*)?$)"))) {
            commands.push_back(std::regex_replace(found[1].str(), std::regex(R"(\s#.*)"), ""));
        }
    }
    return commands;
}

TEST(HelpAndManualTest, CommandsOfTheReadmeAndTheDocsUseOnlyRealOptions)
{
    Names options = HelpOptions(HelpText());
    ASSERT_FALSE(options.empty());
    std::vector<std::string> pages = {PAVONIZE_README};
    for (const auto& entry : std::filesystem::directory_iterator(PAVONIZE_DOCS)) {
        if (entry.path().extension() == ".md") {
            pages.push_back(entry.path().string());
        }
    }
    size_t checked = 0;
    for (const std::string& page : pages) {
        std::vector<std::string> commands = DocumentedCommands(FileText(page.c_str()));
        if (page == PAVONIZE_README) {
            EXPECT_GE(commands.size(), 3U) << "the README's typical commands were not found";
        }
        for (const std::string& command : commands) {
            std::istringstream words(command);
            for (std::string word; words >> word && word != "--";) {
                EXPECT_TRUE(!word.starts_with("-") || options.count(word))
                    << page << ": pavonize" << command << ": " << word << " is not an option";
            }
            ++checked;
        }
    }
    // The guide alone has several; a parser that found none would pass anything.
    EXPECT_GE(checked, 6U);
}

// The functions the public header declares, and the names the section-3
// manual pages give in their NAME sections ("A, B \- what they do").
TEST(HelpAndManualTest, EveryCallOfTheHeaderHasAManualPage)
{
    Names declared = Captures(FileText(PAVONIZE_HEADER), R"(\nPAVONIZE_API [^(;]*?(\w+)\()");
    ASSERT_TRUE(declared.count("Pavonize") && declared.count("PavonizeFile")) << "no calls found";
    Names described;
    std::istringstream pages(PAVONIZE_LIBRARY_MANUALS);
    for (std::string page; std::getline(pages, page, '|');) {
        std::string name = ManualSection(FileText(page.c_str()), "NAME");
        Names names = Captures(name.substr(0, name.find("\\-")), R"((\w+))");
        described.insert(names.begin(), names.end());
    }
    EXPECT_EQ(described, declared);
}

TEST(HelpAndManualTest, CompletionOffersFoldersAfterOutputDirAndFilesAfterDoubleDash)
{
    Names folders = Completions(std::string("pavonize -o ") + PAVONIZE_README);
    EXPECT_TRUE(folders.empty()) << *folders.begin();  // a file, not a folder
    std::string readmeFolder =
        std::string(PAVONIZE_README).substr(0, std::string(PAVONIZE_README).rfind('/'));
    EXPECT_EQ(Completions("pavonize -o " + readmeFolder), Names{readmeFolder});
    EXPECT_EQ(Completions(std::string("pavonize -- ") + PAVONIZE_README), Names{PAVONIZE_README});
}

TEST(HelpAndManualTest, ManualsCarryTheProgramsVersion)
{
    ProcessResult version = RunBuiltProgram({PAVONIZE_EXE, "--version"});
    ASSERT_EQ(version.exitStatus, 0);
    std::smatch found;
    ASSERT_TRUE(std::regex_search(version.out, found, std::regex(R"(^pavonize \(\S+\) (\S+)\n)")));
    std::istringstream pages(std::string(PAVONIZE_MANUAL "|") + PAVONIZE_LIBRARY_MANUALS);
    for (std::string page; std::getline(pages, page, '|');) {
        std::string source = FileText(page.c_str());
        std::string title = source.substr(0, source.find("\n.SH "));
        EXPECT_NE(title.find("\"OrvanePavonize " + found[1].str() + "\""), std::string::npos)
            << page << ": " << title;
    }
}

}  // namespace
