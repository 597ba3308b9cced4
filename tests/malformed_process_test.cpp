// Every malformed file of the corpus through the real command line: status
// 1, one line saying why, the output that was there before left byte for
// byte, and no temporary file beside it. Standard error names the file with
// the library's reason (or, for a format the program decodes itself, that
// format's), and gives the conversion exactly for a BMP of another depth. The same file through a C
// host calling Pavonize ends it with status 1 and the same message, and the
// calls that return their failure give that message with the kind of
// problem, from a file and from memory alike.
#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>

#include "orvanepavonize/orvanepavonize.h"
#include "support/expected_messages.h"
#include "support/malformed_corpus.h"
#include "support/process.h"

namespace {

using namespace expected_messages;

const Bytes kPreviousOutput = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'};

// Valid files the library does not read are unsupported; the rest damaged.
int32_t ExpectedProblem(const std::string& message)
{
    bool unsupported =
        message == kTooLarge || message.find(" not supported: ") != std::string::npos;
    return unsupported ? PAVONIZE_INPUT_UNSUPPORTED : PAVONIZE_INPUT_MALFORMED;
}

// The calls that return their failure, on `input` (a file of the corpus)
// and on its bytes.
void ExpectRefusedByStatusCalls(const std::string& input, const MalformedFile& file)
{
    ScratchDirectory scratch;
    std::string out = scratch.Path("out.bmp");
    WriteFileBytes(out, kPreviousOutput);
    PavonizeStatus status{};
    EXPECT_EQ(PavonizeFile(input.c_str(), out.c_str(), nullptr, &status),
              ExpectedProblem(file.message));
    EXPECT_EQ(status.problem, ExpectedProblem(file.message));
    EXPECT_EQ(status.osError, 0);
    EXPECT_EQ(std::string(status.message), Reason(file.message));
    EXPECT_EQ(ReadFileBytes(out), kPreviousOutput);

    void* output = &status;  // must come back NULL
    size_t outputSize = 1;
    PavonizeStatus fromMemory{};
    EXPECT_EQ(PavonizeMemory(file.bytes.data(), file.bytes.size(), nullptr, &output, &outputSize,
                             &fromMemory),
              ExpectedProblem(file.message));
    EXPECT_EQ(std::string(fromMemory.message), Reason(file.message));
    EXPECT_EQ(output, nullptr);
    EXPECT_EQ(outputSize, 0u);
}

// `hinted`: standard error must give a conversion, as for another depth or
// another image format.
void ExpectRefusedByCommandLine(const std::string& input, const std::string& message,
                                bool hinted = false)
{
    ScratchDirectory scratch;
    std::string out = scratch.Path("out.bmp");
    WriteFileBytes(out, kPreviousOutput);
    std::vector<std::string> before = scratch.List();
    ProcessResult result = RunBuiltProgram({PAVONIZE_EXE, input, out});
    EXPECT_EQ(result.exitStatus, 1) << "signal " << result.signal;
    EXPECT_EQ(result.out, message);
    EXPECT_EQ(result.err.rfind("pavonize: " + input + ": " + message, 0), 0u) << result.err;
    EXPECT_EQ(result.err.find(" -colorspace Gray +dither -type Palette -compress RLE BMP3:") !=
                  std::string::npos,
              hinted)
        << result.err;
    EXPECT_EQ(ReadFileBytes(out), kPreviousOutput);
    EXPECT_EQ(scratch.List(), before);
}

TEST(MalformedCorpus, HasAtLeastFortyFilesInFifteenClassesWithOneLineMessages)
{
    std::vector<MalformedFile> corpus = MalformedCorpus();
    std::set<std::string> kinds;
    std::set<std::string> names;
    for (const MalformedFile& file : corpus) {
        kinds.insert(file.kind);
        EXPECT_TRUE(names.insert(file.name).second) << "duplicate " << file.name;
        ASSERT_FALSE(file.message.empty()) << file.name;
        EXPECT_EQ(file.message.find('\n'), file.message.size() - 1) << file.name;
    }
    EXPECT_GE(corpus.size(), 40u);
    EXPECT_GE(kinds.size(), 15u);
}

class MalformedProcessTest : public ::testing::TestWithParam<MalformedFile> {};

TEST_P(MalformedProcessTest, StatusOneMessageOutputUntouchedNoTemporary)
{
    ScratchDirectory inputs;
    std::string in = inputs.Path(GetParam().name + ".bmp");
    WriteFileBytes(in, GetParam().bytes);
    // Files of other formats the command line reads are refused with that
    // format's reason, and need no conversion; a build without the decoders
    // refuses them as the library does and says how to convert them.
    const std::string& commandLineMessage = GetParam().commandLineMessage;
    bool decoded = !commandLineMessage.empty() && ORVANEPAVONIZE_CLI_DECODES;
    ExpectRefusedByCommandLine(
        in, decoded ? commandLineMessage : GetParam().message,
        GetParam().kind == "depth" || (!decoded && !commandLineMessage.empty()));
    EXPECT_EQ(ReadFileBytes(in), GetParam().bytes) << "the input is never written";

    ProcessResult host = RunBuiltProgram({SAVE_FAULT_HOST, "none", in, inputs.Path("out.bmp")});
    EXPECT_EQ(host.exitStatus, 1);
    EXPECT_EQ(host.out, GetParam().message);
    ExpectRefusedByStatusCalls(in, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, MalformedProcessTest, ::testing::ValuesIn(MalformedCorpus()),
                         [](const auto& info) { return CorpusTestName(info.param); });

TEST(MalformedInputKinds, DirectoriesAndFifosAreRefusedWithoutWaiting)
{
    ScratchDirectory inputs;
    ExpectRefusedByCommandLine(inputs.path(), kInputIsDirectory);
    std::string fifo = inputs.Path("fifo.bmp");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // No writer ever opens the FIFO: a reader that waited would hang here.
    ExpectRefusedByCommandLine(fifo, kInputNotRegular);
    PavonizeStatus status{};
    EXPECT_EQ(PavonizeFile(fifo.c_str(), inputs.Path("out.bmp").c_str(), nullptr, &status),
              PAVONIZE_INPUT_UNREADABLE);
    EXPECT_EQ(std::string(status.message), Reason(kInputNotRegular));
}

}  // namespace
