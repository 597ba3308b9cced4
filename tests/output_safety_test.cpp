// Outputs as users meet them, through real processes: what is at the
// output path, who runs pavonize on it, and what must come of it. The
// replacement keeps what the old file carried, and nothing planted by
// another user is followed or written. Cases that need root give files to
// others and run pavonize as nobody; those that need a mount namespace, an
// attribute or a flag are skipped where the system cannot make them.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <linux/fs.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "support/command_line.h"
#include "support/expected_band.h"
#include "support/expected_messages.h"

namespace {

namespace fs = std::filesystem;
using namespace expected_messages;

class OutputSafetyTest : public ScratchFilesTest {};

TEST_F(OutputSafetyTest, ReplacedOutputKeepsPermissionsAndSymbolicLinks)
{
    WriteFileBytes(in_, SmallImage());
    std::string target = scratch_.Path("target.bmp");
    std::string link = scratch_.Path("link.bmp");
    WriteFileBytes(target, {0});
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(symlink("target.bmp", link.c_str()), 0);
    ASSERT_EQ(Pavonize({in_, link}).exitStatus, 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(target).size(), SmallImage().size());
    struct stat status {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

struct FileStatus {
    unsigned owner = 0;
    unsigned group = 0;
    unsigned mode = 0;  // permission and set-ID bits
    unsigned links = 0;
    ino_t inode = 0;
};

FileStatus StatusOf(const std::string& path)
{
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return {status.st_uid, status.st_gid, status.st_mode & 07777u,
            static_cast<unsigned>(status.st_nlink), status.st_ino};
}

// Owner for files the test's own user keeps: chown leaves them as they are.
constexpr unsigned kCaller = static_cast<unsigned>(-1);

// Makes `path` with `bytes`, owned by `owner` and group `owner`, with `mode`.
void MakeFile(const std::string& path, const Bytes& bytes, unsigned owner, unsigned mode)
{
    WriteFileBytes(path, bytes);
    ASSERT_EQ(chown(path.c_str(), owner, owner), 0);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

void MakeFolder(const std::string& path, unsigned owner, unsigned mode)
{
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    ASSERT_EQ(chown(path.c_str(), owner, owner), 0);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

// A folder like /tmp: root's, sticky, and anyone's to write in.
void MakeStickyFolderOfRoot(const std::string& path)
{
    ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(path.c_str(), 01777), 0);
}

// A user who is neither root nor nobody, to own what is planted.
constexpr unsigned kThirdUser = 1;

// A symbolic link at `path` to `target`, owned by `owner`.
void PlantLink(const std::string& target, const std::string& path, unsigned owner)
{
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    ASSERT_EQ(lchown(path.c_str(), owner, owner), 0);
}

bool IsTheRecolouredImage(const Bytes& out)
{
    // Pixel (4, 0) was 200, so band 3.
    return out.size() == SmallImage().size() && out[0] == 'B' && out[1078 + 4] == 3;
}

bool HoldsTheRecolouredImage(const std::string& path)
{
    return IsTheRecolouredImage(ReadFileBytes(path));
}

const Bytes kOld = {'o', 'l', 'd'};
const std::string kLongName = std::string(246, 'n') + ".bmp";  // 250 bytes

// What a case holds while pavonize runs, besides files: descriptors handed
// to it, the test's own end of a pipe, a process that keeps a mount
// namespace of its own. Let go when the case ends.
struct Held {
    std::vector<int> handed;  // inherited by pavonize under the same numbers
    int reader = -1;
    pid_t namespaceHolder = -1;

    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held()
    {
        for (int descriptor : handed) {
            close(descriptor);
        }
        if (reader >= 0) {
            close(reader);
        }
        if (namespaceHolder > 0) {
            kill(namespaceHolder, SIGKILL);
            waitpid(namespaceHolder, nullptr, 0);
        }
    }
};

// What is at the output path, who runs pavonize on it, and what must come of
// it: "image saved", or refused as an output that "wb" could not open.
struct OutputCase {
    const char* name;
    bool needsRoot;  // to give files to others, or to run as nobody
    bool asNobody;
    bool saved;
    // Makes the situation inside the folder `w` of the scratch folder, and
    // returns the output's path in w (or an absolute one); an empty one
    // skips the case, on a system that cannot make what it needs.
    std::function<std::string(const std::string& w, Held* held)> arrange;
    std::function<void(const std::string& w, const FileStatus& before, const Held& held)> check;
    // Faults for save_fault_host, which then runs in pavonize's place in `w`.
    const char* faults = nullptr;
    // Refused only as the written image is put in place: "write BMP image
    // failed".
    bool refusedAtTheEnd = false;
};

// A sticky folder of root's, and beside the output's name a file of another
// user's, 0666, that save_fault_host moves there at the moment its fault
// names, as that user could.
std::string ArrangeAPlant(const std::string& w, Held*)
{
    MakeStickyFolderOfRoot(w);
    MakeFolder(w + "/stash", 0, 0777);
    MakeFile(w + "/stash/planted", kOld, kThirdUser, 0666);
    return "out.bmp";
}

void CheckThePlantIsUntouched(const std::string& w, const FileStatus&, const Held&)
{
    FileStatus planted = StatusOf(w + "/out.bmp");
    EXPECT_EQ(ReadFileBytes(w + "/out.bmp"), kOld);
    EXPECT_EQ(planted.owner, kThirdUser);
    EXPECT_EQ(planted.mode, 0666u);
}

// The caller's own file with set-ID bits: a write by anyone but root clears
// them, so the replacement must be given them after its bytes.
OutputCase OwnFileKeepsItsSetIdBits(const char* name, unsigned mode)
{
    return {.name = name,
            .needsRoot = true,
            .asNobody = true,
            .saved = true,
            .arrange =
                [mode](const std::string& w, Held*) {
                    MakeFile(w + "/out.bmp", kOld, kNobody, mode);
                    return std::string("out.bmp");
                },
            .check =
                [mode](const std::string& w, const FileStatus& before, const Held&) {
                    FileStatus after = StatusOf(w + "/out.bmp");
                    EXPECT_EQ(after.mode, mode);
                    EXPECT_NE(after.inode, before.inode) << "renamed into place, not rewritten";
                }};
}

// A file capability: CAP_NET_BIND_SERVICE permitted and effective (struct
// vfs_cap_data, revision 2, little-endian).
const Bytes kCapability = {0x01, 0, 0, 0x02, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// A process with a mount namespace of its own, where a tmpfs covers
// `folder`: what it writes there no other process sees. -1 when none can be
// had.
pid_t HoldAFolderInANamespaceOfItsOwn(const std::string& folder)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        return -1;
    }
    pid_t holder = fork();
    if (holder == 0) {
        char made = unshare(CLONE_NEWNS) == 0 &&
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                    mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") == 0;
        if (write(ready[1], &made, 1) == 1 && made != 0) {
            while (true) {
                pause();
            }
        }
        _exit(1);
    }
    close(ready[1]);
    char made = 0;
    bool told = holder > 0 && read(ready[0], &made, 1) == 1;
    close(ready[0]);
    if (told && made != 0) {
        return holder;
    }
    if (holder > 0) {
        kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
    }
    return -1;
}

const OutputCase kOutputCases[] = {
    {"ReadOnlyFileIsRefused", true, true, false,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 0444);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(ReadFileBytes(w + "/out.bmp"), kOld);
     }},
    {"AnotherUsersFileIsRefusedAndKeepsItsOwner", true, true, false,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, 0, 0644);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(ReadFileBytes(w + "/out.bmp"), kOld);
         EXPECT_EQ(StatusOf(w + "/out.bmp").owner, 0u);
     }},
    {"OwnFileIsReplacedWholeWithItsMode", true, true, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 0640);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         FileStatus after = StatusOf(w + "/out.bmp");
         EXPECT_EQ(after.mode, 0640u);
         EXPECT_EQ(after.owner, kNobody);
         EXPECT_NE(after.inode, before.inode) << "renamed into place, not rewritten";
     }},
    {"RootKeepsTheOwnerAndSetIdBitsOfAnotherUsersFile", true, false, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 06755);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         FileStatus after = StatusOf(w + "/out.bmp");
         EXPECT_EQ(after.owner, kNobody);
         EXPECT_EQ(after.group, kNobody);
         EXPECT_EQ(after.mode, 06755u);
         EXPECT_NE(after.inode, before.inode);
     }},
    {"HardLinkedFileIsRewrittenInPlaceForEveryName", false, false, true,
     [](const std::string& w, Held*) {
         // Longer than the image: what is left of it is cut off.
         MakeFile(w + "/out.bmp", Bytes(5000, 'o'), kCaller, 0644);
         EXPECT_EQ(link((w + "/out.bmp").c_str(), (w + "/other.bmp").c_str()), 0);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         EXPECT_TRUE(HoldsTheRecolouredImage(w + "/other.bmp"));
         EXPECT_EQ(StatusOf(w + "/out.bmp").inode, before.inode);
         EXPECT_EQ(StatusOf(w + "/out.bmp").links, 2u);
     }},
    {"WritableFileInAReadOnlyFolderIsRewrittenInPlace", true, true, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 0644);
         EXPECT_EQ(chmod(w.c_str(), 0555), 0);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         EXPECT_EQ(StatusOf(w + "/out.bmp").inode, before.inode);
     }},
    // A sticky folder that anyone may write, as /tmp: what another user
    // planted there is neither followed nor written, whatever the kernel's
    // own protection is set to.
    {"AnotherUsersFileInAStickyFolderIsRefused", true, true, false,
     [](const std::string& w, Held*) {
         EXPECT_EQ(chmod(w.c_str(), 01777), 0);
         MakeFile(w + "/out.bmp", kOld, 0, 0666);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(ReadFileBytes(w + "/out.bmp"), kOld);
         EXPECT_EQ(StatusOf(w + "/out.bmp").owner, 0u);
     }},
    {"FolderOwnersFileInAStickyFolderIsRewrittenAndKeepsItsOwner", true, true, true,
     [](const std::string& w, Held*) {
         MakeStickyFolderOfRoot(w);
         MakeFile(w + "/out.bmp", kOld, 0, 0666);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(StatusOf(w + "/out.bmp").owner, 0u);
         EXPECT_EQ(StatusOf(w + "/out.bmp").mode, 0666u);
     }},
    {"PlantedLinkToAFileIsNotFollowedByRoot", true, false, false,
     [](const std::string& w, Held*) {
         MakeStickyFolderOfRoot(w);
         MakeFolder(w + "/etc", kCaller, 0755);
         MakeFile(w + "/etc/secret.conf", kOld, 0, 0600);
         PlantLink("etc/secret.conf", w + "/out.bmp", kNobody);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(ReadFileBytes(w + "/etc/secret.conf"), kOld);
     }},
    {"PlantedDanglingLinkCreatesNothing", true, true, false,
     [](const std::string& w, Held*) {
         MakeStickyFolderOfRoot(w);
         MakeFolder(w + "/mine", kNobody, 0755);
         PlantLink("mine/new.bmp", w + "/out.bmp", kThirdUser);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_FALSE(fs::exists(w + "/mine/new.bmp"));
     }},
    {"PlantedFolderLinkOnTheWayOfOwnLinkIsNotFollowed", true, false, false,
     [](const std::string& w, Held*) {
         MakeFolder(w + "/etc", kCaller, 0755);
         MakeFile(w + "/etc/secret.conf", kOld, 0, 0600);
         MakeFolder(w + "/pub", 0, 01777);
         PlantLink("../etc", w + "/pub/evil", kNobody);
         EXPECT_EQ(symlink("pub/evil/secret.conf", (w + "/out.bmp").c_str()), 0);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(ReadFileBytes(w + "/etc/secret.conf"), kOld);
     }},
    {"OwnLinkInAStickyFolderIsFollowed", true, true, true,
     [](const std::string& w, Held*) {
         MakeStickyFolderOfRoot(w);
         MakeFolder(w + "/mine", kNobody, 0755);
         PlantLink("mine/new.bmp", w + "/out.bmp", kNobody);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_TRUE(fs::is_symlink(w + "/out.bmp"));
         EXPECT_TRUE(HoldsTheRecolouredImage(w + "/mine/new.bmp"));
     }},
    // What a file carries is kept by the replacement, for its owner.
    {"ExtendedAttributeAndNoDumpFlagAreKept", true, true, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 0644);
         std::string path = w + "/out.bmp";
         int flags = FS_NODUMP_FL;
         int file = open(path.c_str(), O_RDONLY);
         bool marked = setxattr(path.c_str(), "user.origin", "camera", 6, 0) == 0 &&
                       ioctl(file, FS_IOC_SETFLAGS, &flags) == 0;
         close(file);
         return marked ? std::string("out.bmp") : std::string();
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         std::string path = w + "/out.bmp";
         char value[16] = {};
         EXPECT_EQ(getxattr(path.c_str(), "user.origin", value, sizeof value), 6);
         EXPECT_STREQ(value, "camera");
         int flags = 0;
         int file = open(path.c_str(), O_RDONLY);
         EXPECT_EQ(ioctl(file, FS_IOC_GETFLAGS, &flags), 0);
         close(file);
         EXPECT_NE(flags & FS_NODUMP_FL, 0);
         EXPECT_NE(StatusOf(path).inode, before.inode) << "renamed into place, not rewritten";
     }},
    {"NewNameOf250Bytes", false, false, true, [](const std::string&, Held*) { return kLongName; },
     [](const std::string&, const FileStatus&, const Held&) {}},
    {"ExistingNameOf250Bytes", false, false, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/" + kLongName, kOld, kCaller, 0644);
         return kLongName;
     },
     [](const std::string&, const FileStatus&, const Held&) {}},
    {"DanglingLinkGetsItsTargetAndStaysALink", false, false, true,
     [](const std::string& w, Held*) {
         MakeFolder(w + "/elsewhere", kCaller, 0755);
         EXPECT_EQ(symlink("elsewhere/new.bmp", (w + "/out.bmp").c_str()), 0);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_TRUE(fs::is_symlink(w + "/out.bmp"));
         EXPECT_TRUE(HoldsTheRecolouredImage(w + "/elsewhere/new.bmp"));
         EXPECT_EQ(fs::directory_iterator(w + "/elsewhere")->path().filename(), "new.bmp");
     }},
    {"FifoWithoutAReaderIsRefusedAtOnce", false, false, false,
     [](const std::string& w, Held*) {
         EXPECT_EQ(mkfifo((w + "/out.bmp").c_str(), 0600), 0);
         return std::string("out.bmp");
     },
     [](const std::string&, const FileStatus&, const Held&) {}},
    // A file another user plants at a new output's name after it was looked
    // at is neither written nor given to that user with the image.
    {.name = "FilePlantedAfterTheLookIsNotWritten",
     .needsRoot = true,
     .asNobody = true,
     .saved = false,
     .arrange = ArrangeAPlant,
     .check = CheckThePlantIsUntouched,
     .faults = "plant-after-walk:stash/planted"},
    {.name = "FilePlantedAfterTheLookIsNotReplacedByRoot",
     .needsRoot = true,
     .asNobody = false,
     .saved = false,
     .arrange = ArrangeAPlant,
     .check = CheckThePlantIsUntouched,
     .faults = "plant-after-walk:stash/planted"},
    {.name = "FilePlantedBeforeTheLinkIsNotReplacedByRoot",
     .needsRoot = true,
     .asNobody = false,
     .saved = false,
     .arrange = ArrangeAPlant,
     .check = CheckThePlantIsUntouched,
     .faults = "plant-before-link:stash/planted",
     .refusedAtTheEnd = true},
    // What a write clears is given to the replacement after its bytes.
    {"RootKeepsAFileCapability", true, false, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kCaller, 0755);
         bool set = setxattr((w + "/out.bmp").c_str(), "security.capability", kCapability.data(),
                             kCapability.size(), 0) == 0;
         return set ? std::string("out.bmp") : std::string();
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         Bytes value(64);
         ssize_t bytes =
             getxattr((w + "/out.bmp").c_str(), "security.capability", value.data(), value.size());
         value.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
         EXPECT_EQ(value, kCapability);
         EXPECT_NE(StatusOf(w + "/out.bmp").inode, before.inode) << "renamed into place";
     }},
    OwnFileKeepsItsSetIdBits("OwnSetUserIdFileKeepsItsBit", 04755),
    OwnFileKeepsItsSetIdBits("OwnSetGroupIdFileKeepsItsBit", 02775),
    // Links of /proc are gone through as the kernel resolves them, never by
    // their text: a deleted file's reads "gone.bmp (deleted)", a pipe's
    // "pipe:[N]", another namespace's root "/".
    {"DeletedFileByItsDescriptorIsRewrittenInPlace", false, false, true,
     [](const std::string& w, Held* held) {
         std::string path = w + "/gone.bmp";
         WriteFileBytes(path, Bytes(5000, 'o'));  // longer than the image: cut to it
         int file = open(path.c_str(), O_RDWR | O_CLOEXEC);
         EXPECT_EQ(unlink(path.c_str()), 0);
         held->handed.push_back(file);
         return "/proc/self/fd/" + std::to_string(file);
     },
     [](const std::string&, const FileStatus&, const Held&) {}},
    {"PipeByDevFdIsWrittenThrough", false, false, true,
     [](const std::string&, Held* held) {
         int ends[2];
         EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
         EXPECT_EQ(fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
         held->reader = ends[0];
         held->handed.push_back(ends[1]);
         return "/dev/fd/" + std::to_string(ends[1]);
     },
     [](const std::string&, const FileStatus&, const Held& held) {
         Bytes piped(4096);
         ssize_t bytes = read(held.reader, piped.data(), piped.size());
         piped.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
         EXPECT_TRUE(IsTheRecolouredImage(piped));
     }},
    {"FileInAnotherMountNamespaceByProcRoot", true, false, true,
     [](const std::string& w, Held* held) {
         MakeFolder(w + "/ns", kCaller, 0755);
         held->namespaceHolder = HoldAFolderInANamespaceOfItsOwn(w + "/ns");
         return held->namespaceHolder < 0 ? std::string()
                                          : "/proc/" + std::to_string(held->namespaceHolder) +
                                                "/root" + w + "/ns/out.bmp";
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_TRUE(fs::is_empty(w + "/ns")) << "the caller's own folder of that name";
     }},
};

void PrintTo(const OutputCase& test, std::ostream* out)
{
    *out << test.name;
}

// An inotify descriptor watching every file under `folder` for opens and
// writes.
int WatchFilesUnder(const std::string& folder)
{
    int watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            EXPECT_GE(inotify_add_watch(watcher, entry.path().c_str(),
                                        IN_OPEN | IN_MODIFY | IN_CLOSE_WRITE),
                      0);
        }
    }
    return watcher;
}

// The watches that heard anything, as their numbers; closes the watcher.
std::vector<std::string> FilesOpenedSince(int watcher)
{
    std::vector<std::string> heard;
    alignas(inotify_event) char events[4096];
    ssize_t got = read(watcher, events, sizeof events);
    for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        heard.push_back("watch " + std::to_string(event->wd));
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    close(watcher);
    return heard;
}

class OutputCaseTest : public ScratchFilesTest, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(OutputCaseTest, EndsAsTheCaseSays)
{
    const OutputCase& test = GetParam();
    if (test.needsRoot && geteuid() != 0) {
        GTEST_SKIP() << "needs root, to give files to another user and to drop to nobody";
    }
    ASSERT_EQ(chmod(scratch_.path().c_str(), 0755), 0);  // nobody reads the input
    WriteFileBytes(in_, SmallImage());
    std::string w = scratch_.Path("w");
    MakeFolder(w, test.asNobody ? kNobody : kCaller, 0777);
    Held held;
    std::string name = test.arrange(w, &held);
    if (name.empty()) {
        GTEST_SKIP() << "this system cannot make what the case needs (an attribute, a flag, "
                        "a mount namespace)";
    }
    std::string output = name[0] == '/' ? name : w + "/" + name;
    std::vector<std::string> entries = ListFolder(w);
    bool existed = fs::exists(fs::symlink_status(output));
    FileStatus before = existed ? StatusOf(output) : FileStatus{};

    // What is refused before the open is not even opened: a watcher acting
    // on opens and writes never hears of it. (A file planted after the look
    // is opened, and refused by what the open shows.)
    int watcher = test.saved || test.faults != nullptr ? -1 : WatchFilesUnder(w);

    ProcessOptions options{.asNobody = test.asNobody, .inheritedDescriptors = held.handed};
    ProcessResult result;
    if (test.faults != nullptr) {
        options.workingDirectory = w;
        result = RunBuiltProgram({SAVE_FAULT_HOST, test.faults, in_, output}, options);
    } else {
        result = Pavonize({in_, output}, options);
    }
    EXPECT_EQ(result.exitStatus, test.saved ? 0 : 1) << result.err;
    EXPECT_EQ(result.out, test.saved             ? kSuccess
                          : test.refusedAtTheEnd ? kSaveFailed
                                                 : kOutputRefused);
    if (watcher >= 0) {
        EXPECT_EQ(FilesOpenedSince(watcher), std::vector<std::string>{});
    }
    if (!test.saved && test.faults == nullptr) {
        // The reason is the failed call's own, after the output's name.
        EXPECT_NE(result.err.find(Reason(kOutputFailed) + ": " + output + ": "), std::string::npos)
            << result.err;
    }
    // A pipe is read by the case's own check.
    if (test.saved && !fs::is_fifo(output)) {
        EXPECT_TRUE(HoldsTheRecolouredImage(output));
    } else if (!test.saved && existed && !fs::is_fifo(output)) {
        FileStatus after = StatusOf(output);
        EXPECT_EQ(after.inode, before.inode);
        EXPECT_EQ(after.mode, before.mode);
    }
    test.check(w, before, held);
    // No temporary is left beside the output, and nothing else is made.
    std::string outputName = fs::path(output).filename().string();
    if (fs::path(output).parent_path() == w && fs::exists(fs::symlink_status(output)) &&
        std::find(entries.begin(), entries.end(), outputName) == entries.end()) {
        entries.push_back(outputName);
        std::sort(entries.begin(), entries.end());
    }
    EXPECT_EQ(ListFolder(w), entries);
}

INSTANTIATE_TEST_SUITE_P(Outputs, OutputCaseTest, ::testing::ValuesIn(kOutputCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OutputSafetyTest, OutputDeeperThanPathMaxIsReplacedWithItsChosenColours)
{
    // 25 folders of 200 bytes: the output's absolute path is over 5000
    // bytes, past PATH_MAX, though the path pavonize is given is short.
    WriteFileBytes(in_, SmallImage());
    const std::string name(200, 'd');
    std::vector<int> folders{open(scratch_.path().c_str(), O_RDONLY | O_DIRECTORY)};
    for (int depth = 0; depth < 25; ++depth) {
        ASSERT_EQ(mkdirat(folders.back(), name.c_str(), 0755), 0);
        folders.push_back(openat(folders.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_GE(folders.back(), 0);
    }
    int old = openat(folders.back(), "out.bmp", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(old, "old", 3), 3);
    close(old);
    int here = open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(fchdir(folders.back()), 0);
    ProcessResult result = Pavonize({"--colours", kChosenList, in_, "out.bmp"});
    ASSERT_EQ(fchdir(here), 0);
    close(here);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, kSuccess);
    struct stat status {};
    ASSERT_EQ(fstatat(folders.back(), "out.bmp", &status, 0), 0);
    EXPECT_EQ(status.st_size, static_cast<off_t>(SmallImage().size()));
    int saved = openat(folders.back(), "out.bmp", O_RDONLY);
    Bytes entries(16);
    EXPECT_EQ(pread(saved, entries.data(), entries.size(), 54), 16);
    close(saved);
    EXPECT_EQ(entries, kChosenColours);
    // Removed from the bottom up, each name short, where a whole path
    // would be too long.
    EXPECT_EQ(unlinkat(folders.back(), "out.bmp", 0), 0);
    for (size_t i = folders.size() - 1; i > 0; --i) {
        close(folders[i]);
        EXPECT_EQ(unlinkat(folders[i - 1], name.c_str(), AT_REMOVEDIR), 0);
    }
    close(folders[0]);
}

}  // namespace
