// The promises of the file services (engine/env.h), one row each, as Env::Default() keeps them
// here: natively, and under Wine in both Windows builds (env_tests). What a Windows program cannot
// make, env_test.sh plants from outside; where the platforms differ by nature, a row says what
// each promises (under Windows, here: Wine).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <utility>

#include "engine/names.h"
#include "tests/engine/fixture.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;
using Code = Status::Code;

#ifdef _WIN32
constexpr bool kPosix = false;
#else
constexpr bool kPosix = true;
// The moment between making the new file and asking what it is, for a test to give it a
// second name in: this program's fstat stands in for the system's (as in hazards_test.cpp).
std::function<void()> g_before_fstat;
extern "C" int fstat(int fd, struct stat* st) {
  static const auto system_fstat = reinterpret_cast<int (*)(int, struct stat*)>(dlsym(RTLD_NEXT, "fstat"));
  if (const auto hook = std::exchange(g_before_fstat, nullptr)) hook();
  return system_fstat(fd, st);
}
#endif

// env_test.sh's folder: given by it (QRV3_PLANTED), or planted here by it where a shell is.
const std::string& Planted() {
  static const std::string planted = [] {
    if (const char* given = std::getenv("QRV3_PLANTED")) return std::string(given);
    static TempDir dir;
    const bool made = Shell("bash '" QRV3_ENV_PLANT "' --plant " + ShellPath(dir.path()) + " && echo ok") == "ok\n";
    std::atexit([] { Shell("chmod 755 " + ShellPath(dir.path() / "unreadable")); });
    return made ? dir.str() : "";
  }();
  return planted;
}

std::string Text(ReadableFile& f, size_t n, uint64_t at = 0) {
  std::string s(n, '\0');
  EXPECT_TRUE(f.ReadAt(at, n, reinterpret_cast<uint8_t*>(s.data())).ok());
  return s;
}

struct Context {
  Env& env = *Env::Default();
  TempDir dir;  // the row's own
  std::string p;  // the planted folder's path and a separator
  std::string In(const std::string& name) { return dir / name; }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(demo::FsPath(In(name)), std::ios::binary) << text;
  }
  std::unique_ptr<Folder> Open(const std::string& path) {
    std::unique_ptr<Folder> f;
    const Status s = env.OpenFolder(path, &f);
    EXPECT_TRUE(s.ok()) << s.ToString();
    return f;
  }
  std::unique_ptr<NewFile> Create(Folder& folder, const std::string& name, const std::string& text) {
    std::unique_ptr<NewFile> f;
    EXPECT_TRUE(folder.CreateNew(name, &f).ok());
    EXPECT_TRUE(f && f->Append(reinterpret_cast<const uint8_t*>(text.data()), text.size()).ok());
    return f;
  }
  std::vector<std::string> List(Folder& folder) {
    std::vector<std::string> names;
    EXPECT_TRUE(folder.List(&names).ok());
    std::sort(names.begin(), names.end());
    return names;
  }
};

struct Row {
  const char* promise;
  bool planted;  // needs what env_test.sh plants
  void (*check)(Context&);
};

const Row kRows[] = {
    {"OpenFileRefusesAnythingButAPlainFile", true, [](Context& t) {
       const auto folder = t.Open(Planted()), dev = t.Open(BuildPath("/dev"));
       ASSERT_TRUE(folder && dev);
       std::unique_ptr<ReadableFile> f;
       // Wine shows a link as what it points to, and one to nothing as nothing.
       for (const char* name : {"link", "folder", "fifo", "folder-link", "dangling"}) {
         SCOPED_TRACE(name);
         const Code want = !kPosix && name == std::string("dangling") ? Code::kNotFound : Code::kAccessDenied;
         EXPECT_EQ(t.env.OpenFile(t.p + name, &f).code(), want);
         EXPECT_EQ(folder->OpenFile(name, &f).code(), want);
       }
       EXPECT_EQ(t.env.OpenFile(BuildPath("/dev/null"), &f).code(), Code::kAccessDenied);
       EXPECT_EQ(dev->OpenFile("null", &f).code(), Code::kAccessDenied);
       EXPECT_FALSE(f);
       // A link further up the path is followed.
       ASSERT_TRUE(t.env.OpenFile(t.p + "folder-link\\inside.txt", &f).ok());
       EXPECT_EQ(Text(*f, 7), "inside\n");
     }},
    {"AnOpenFileReadsWhatWasOpenedWhateverBecomesOfItsName", false, [](Context& t) {
       t.Write("a", "old");
       std::unique_ptr<ReadableFile> f;
       ASSERT_TRUE(t.env.OpenFile(t.In("a"), &f).ok());
       fs::rename(demo::FsPath(t.In("a")), demo::FsPath(t.In("moved")));
       t.Write("a", "new");
       EXPECT_EQ(Text(*f, 3), "old");
     }},
    {"ReadAtPastTheEndIsAShortFile", false, [](Context& t) {
       t.Write("a", "0123456789");
       std::unique_ptr<ReadableFile> f;
       ASSERT_TRUE(t.env.OpenFile(t.In("a"), &f).ok());
       EXPECT_EQ(Text(*f, 4, 6), "6789");
       uint8_t buf[4];
       for (const uint64_t at : {7, 10, 20}) EXPECT_EQ(f->ReadAt(at, 4, buf).code(), Code::kShortFile) << at;
     }},
    {"InfoTellsOneFileFromAnotherWhateverItsNames", false, [](Context& t) {
       t.Write("a", "0123456789");
       t.Write("other", "0123456789");
       fs::create_hard_link(demo::FsPath(t.In("a")), demo::FsPath(t.In("b")));
       ASSERT_TRUE(demo::SetFileStamp(t.In("a"), demo::ParseStamp("2002/09/09 11:02:56")).ok());
       SetReadOnly(t.In("other"), true);
       const auto folder = t.Open(t.dir.str());
       std::unique_ptr<ReadableFile> a, b, other;
       ASSERT_TRUE(t.env.OpenFile(t.In("a"), &a).ok() && folder->OpenFile("b", &b).ok() &&
                   folder->OpenFile("other", &other).ok());
       EntryInfo ia, ib, io;
       ASSERT_TRUE(a->Info(&ia).ok() && b->Info(&ib).ok() && other->Info(&io).ok());
       EXPECT_TRUE(ia.volume == ib.volume && ia.index == ib.index);
       EXPECT_FALSE(ia.volume == io.volume && ia.index == io.index);
       EXPECT_EQ(FormatStamp(ia.stamp), "2002/09/09 11:02:56");
       EXPECT_EQ(ia.size, 10u);
       EXPECT_TRUE(io.read_only && !ia.read_only);
     }},
    {"AFileHeldWithoutSharingStillOpensForWhatItIs", false, [](Context& t [[maybe_unused]]) {
#ifdef _WIN32
       t.Write("a", "0123456789");
       UniqueHandle held(CreateFileW(Win32Path(t.In("a")).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
       ASSERT_TRUE(held.valid());
       std::unique_ptr<ReadableFile> f;
       ASSERT_TRUE(t.Open(t.dir.str())->OpenFile("a", &f).ok());
       EntryInfo info;
       FileMetadata metadata;
       uint8_t buf[1];
       EXPECT_TRUE(f->Info(&info).ok() && f->GetMetadata(&metadata).ok());
       EXPECT_EQ(info.size, 10u);
       EXPECT_FALSE(f->ReadAt(0, 1, buf).ok());
#else
       GTEST_SKIP() << "POSIX has no holding a file without sharing";
#endif
     }},
    {"CreateNewMakesAnEmptyFileWhereNothingIs", true, [](Context& t) {
       const auto planted = t.Open(Planted());
       ASSERT_TRUE(planted);
       std::unique_ptr<NewFile> f;
       for (const char* name : {"target.txt", "link", "dangling", "folder", "fifo", "Two"}) {
         EXPECT_EQ(planted->CreateNew(name, &f).code(), Code::kExists) << name;
       }
       EXPECT_FALSE(fs::exists(demo::FsPath(t.p + "nowhere")));
       ASSERT_TRUE(t.Open(t.dir.str())->CreateNew("new", &f).ok());
       uint64_t size = 1;
       EXPECT_TRUE(t.env.GetFileSize(t.In("new"), &size).ok() && size == 0);
     }},
    {"ANewFileHasNoOtherName", false, [](Context& t) {
       const auto folder = t.Open(t.dir.str());
       std::unique_ptr<NewFile> f;
       const fs::path made = demo::FsPath(t.In("new")), second = demo::FsPath(t.In("second"));
#ifdef _WIN32
       // Made without sharing: nothing can give it a second name while it is open.
       ASSERT_TRUE(folder->CreateNew("new", &f).ok());
       EXPECT_FALSE(CreateHardLinkW(second.c_str(), made.c_str(), nullptr));
#else
       // Made exclusively, it can only have grown one since: it is refused and its name goes.
       g_before_fstat = [&] { fs::create_hard_link(made, second); };
       EXPECT_EQ(folder->CreateNew("new", &f).code(), Code::kAccessDenied);
       EXPECT_FALSE(fs::exists(made));
#endif
     }},
    {"ReplaceIntoPutsTheNewFileInPlaceWhole", false, [](Context& t) {
       t.Write("db", "old");
       const auto folder = t.Open(t.dir.str());
       auto f = t.Create(*folder, "db.tmp", "new");
       ASSERT_TRUE(f && f->Append(reinterpret_cast<const uint8_t*>("er"), 2).ok() && f->Sync().ok());
       ASSERT_TRUE(f->ReplaceInto("db").ok());
       f.reset();
       EXPECT_TRUE(FileHolds(t.In("db"), {'n', 'e', 'w', 'e', 'r'}));
       EXPECT_EQ(t.List(*folder), std::vector<std::string>{"db"});
     }},
    // A POSIX rename replaces a file another program holds (which goes on reading the old one);
    // Windows refuses it, with nothing changed.
    {"ReplaceIntoOverAHeldDatabase", false, [](Context& t) {
       t.Write("db", "old");
       const auto folder = t.Open(t.dir.str());
       auto f = t.Create(*folder, "db.tmp", "new");
       std::ifstream holder(demo::FsPath(t.In("db")), std::ios::binary);
       const Status s = f->ReplaceInto("db");
       EXPECT_TRUE(kPosix ? s.ok() : s.code() == Code::kInUse || s.code() == Code::kAccessDenied) << s.ToString();
       EXPECT_TRUE(FileHolds(t.In("db"), {'n', 'e', 'w'}) == kPosix);
       EXPECT_EQ(std::string(std::istreambuf_iterator<char>(holder), {}), "old");
     }},
    // A rename passes over the read-only attribute on POSIX and under Wine; Windows keeps it.
    {"ReplaceIntoOverAReadOnlyDatabase", false, [](Context& t) {
       t.Write("db", "old");
       SetReadOnly(t.In("db"), true);
       const auto folder = t.Open(t.dir.str());
       auto f = t.Create(*folder, "db.tmp", "new");
       EXPECT_TRUE(f->ReplaceInto("db").ok());
       EXPECT_TRUE(FileHolds(t.In("db"), {'n', 'e', 'w'}));
     }},
    {"IsEntryTellsWhetherAnEntryIsThisVeryFile", false, [](Context& t) {
       t.Write("db", "old");
       const auto folder = t.Open(t.dir.str());
       auto f = t.Create(*folder, "db.tmp", "new");
       bool same = true;
       EXPECT_TRUE(f->IsEntry("db", &same).ok() && !same);
       same = true;
       EXPECT_TRUE(f->IsEntry("missing", &same).ok() && !same);
       ASSERT_TRUE(f->ReplaceInto("db").ok());
       EXPECT_TRUE(f->IsEntry("db", &same).ok() && same);
     }},
    // On POSIX a name removed behind its back is reported; on Windows nothing can remove it.
    {"DiscardDeletesTheNewFileAndSaysSo", false, [](Context& t) {
       const auto folder = t.Open(t.dir.str());
       auto f = t.Create(*folder, "new", "x");
       EXPECT_TRUE(f->Discard().ok());
       f = t.Create(*folder, "new", "x");
       f.reset();
       EXPECT_EQ(t.List(*folder), std::vector<std::string>{});
       f = t.Create(*folder, "new", "x");
       std::error_code ec;
       EXPECT_EQ(fs::remove(demo::FsPath(t.In("new")), ec), kPosix);
       EXPECT_EQ(f->Discard().code(), kPosix ? Code::kNotFound : Code::kOk);
     }},
    // A lock file found (a killed run's) is used; POSIX removes it with the lock, Windows leaves it.
    {"ALockIsHeldOnceAndItsFileGoesWithIt", false, [](Context& t) {
       const auto one = t.Open(t.dir.str()), two = t.Open(t.dir.str());
       std::unique_ptr<FolderLock> held, second;
       ASSERT_TRUE(one->Lock("x.lock", &held).ok());
       EXPECT_EQ(two->Lock("x.lock", &second).code(), Code::kBusy);
       held.reset();
       EXPECT_EQ(t.List(*one), std::vector<std::string>{});
       t.Write("x.lock", "");
       ASSERT_TRUE(two->Lock("x.lock", &second).ok());
       second.reset();
       EXPECT_EQ(t.List(*one).size(), kPosix ? 0u : 1u);
       t.Write("y.lock", "");
       fs::create_hard_link(demo::FsPath(t.In("y.lock")), demo::FsPath(t.In("y2")));
       EXPECT_EQ(one->Lock("y.lock", &held).code(), Code::kAccessDenied);
     }},
    {"ALockIsNeverTakenThroughALink", true, [](Context& t) {
       const auto planted = t.Open(Planted());
       ASSERT_TRUE(planted);
       std::unique_ptr<FolderLock> lock;
       EXPECT_EQ(planted->Lock("lock-link", &lock).code(), Code::kAccessDenied);
       EXPECT_EQ(planted->Lock("dangling", &lock).code(), Code::kAccessDenied);
       EXPECT_TRUE(FileHolds(t.p + "target.txt", {'t', 'a', 'r', 'g', 'e', 't', '\n'}));
       EXPECT_FALSE(fs::exists(demo::FsPath(t.p + "nowhere")));
     }},
    {"ListNamesEveryEntryButTheDotEntries", true, [](Context& t) {
       const auto planted = t.Open(Planted());
       ASSERT_TRUE(planted);
       // Some of the planted names are other rows' to remove.
       const std::vector<std::string> names = t.List(*planted), some = {
           "Two", "dangling", "fifo", "folder", "folder-link", "link", "target.txt", "two", "unreadable"};
       EXPECT_TRUE(std::includes(names.begin(), names.end(), some.begin(), some.end()));
       EXPECT_EQ(std::count_if(names.begin(), names.end(), [](auto& n) { return n == "." || n == ".."; }), 0);
     }},
    // Only "no such entry" is absent; root cannot be kept out of a folder.
    {"AFolderThatCannotBeListedIsAnErrorNotANameMissing", true, [](Context& t) {
       std::unique_ptr<Folder> folder;
       std::vector<std::string> names;
       if (t.env.OpenFolder(t.p + "unreadable", &folder).ok() && folder->List(&names).ok()) {
         GTEST_SKIP() << "this user may list a folder without the permission to (root)";
       }
       uint64_t size;
       EXPECT_EQ(t.env.GetFileSize(t.p + "unreadable\\ENTRY", &size).code(), Code::kAccessDenied);
       EXPECT_FALSE(t.env.FileExists(t.p + "unreadable\\ENTRY"));
     }},
    // On a case-sensitive disk two entries differing only in case are ambiguous.
    {"NamesResolveIgnoringLetterCaseButNeverTwoAtOnce", true, [](Context& t) {
       uint64_t size = 0;
       EXPECT_TRUE(t.env.GetFileSize(t.p + "FOLDER\\Inside.TXT", &size).ok() && size == 7);
       EXPECT_TRUE(t.env.FileExists(t.p + "Folder\\INSIDE.txt"));
       EXPECT_TRUE(t.env.GetFileSize(t.p + "Two", &size).ok() && size == 6);  // as written
       EXPECT_EQ(t.env.GetFileSize(t.p + "TWO", &size).code(), kPosix ? Code::kAmbiguous : Code::kOk);
       EXPECT_EQ(t.env.GetFileSize(t.p + "Three", &size).code(), Code::kNotFound);
       EXPECT_EQ(t.env.GetFileSize(t.p + "target.txt\\x", &size).code(), Code::kNotFound);
     }},
    // Under Wine a Unix link cannot be removed as a link from Windows code: it stays.
    {"RemoveTakesAFileOrALinkItselfButNeverAFolder", true, [](Context& t) {
       const auto planted = t.Open(Planted()), own = t.Open(t.dir.str()), proc = t.Open(BuildPath("/proc"));
       ASSERT_TRUE(planted && own && proc);
       for (const char* link : {"remove-link", "remove-dangling"}) {
         EXPECT_EQ(planted->Remove(link).code(), kPosix ? Code::kOk : Code::kAccessDenied) << link;
       }
       EXPECT_TRUE(FileHolds(t.p + "target.txt", {'t', 'a', 'r', 'g', 'e', 't', '\n'}));
       t.Write("a", "");
       t.Write("read-only", "");
       SetReadOnly(t.In("read-only"), true);
       fs::create_directory(demo::FsPath(t.In("folder")));
       EXPECT_TRUE(own->Remove("a").ok());
       EXPECT_EQ(own->Remove("read-only").code(), kPosix ? Code::kOk : Code::kAccessDenied);
       EXPECT_EQ(own->Remove("folder").code(), Code::kAccessDenied);
       EXPECT_EQ(own->Remove("missing").code(), Code::kNotFound);
       EXPECT_EQ(proc->Remove("version").code(), Code::kAccessDenied);
       EXPECT_EQ(t.List(*own).size(), kPosix ? 1u : 2u);
     }},
    {"FileQueriesAnswerForAFolderAndForNothing", false, [](Context& t) {
       uint64_t size;
       FileStamp stamp;
       EXPECT_TRUE(t.env.FileExists(t.dir.str()));
       EXPECT_EQ(t.env.GetFileSize(t.dir.str(), &size).code(), Code::kAccessDenied);
       EXPECT_TRUE(t.env.GetFileStamp(t.dir.str(), &stamp).ok());
       EXPECT_FALSE(t.env.FileExists(t.In("missing")));
       EXPECT_EQ(t.env.GetFileSize(t.In("missing"), &size).code(), Code::kNotFound);
       EXPECT_EQ(t.env.GetFileStamp(t.In("missing"), &stamp).code(), Code::kNotFound);
     }},
    {"OpenFolderRefusesALink", true, [](Context& t) {
       std::unique_ptr<Folder> folder;
       EXPECT_EQ(t.env.OpenFolder(t.p + "folder-link", &folder).code(), Code::kAccessDenied);
       EXPECT_EQ(t.env.OpenFolder(t.p + "missing", &folder).code(), Code::kNotFound);
     }},
    // On Windows nothing can rename it while it is open.
    {"AnOpenFolderStaysTheFolderItOpened", false, [](Context& t) {
       fs::create_directory(demo::FsPath(t.In("sub")));
       const auto folder = t.Open(t.In("sub"));
       std::error_code ec;
       fs::rename(demo::FsPath(t.In("sub")), demo::FsPath(t.In("moved")), ec);
       EXPECT_EQ(!ec, kPosix);
       fs::create_directory(demo::FsPath(t.In("sub")), ec);
       t.Write("moved\\a", "");
       EXPECT_EQ(t.List(*folder).size(), kPosix ? 1u : 0u);
     }},
    {"UpdaterFolderIsThisProgramsFolder", false, [](Context&) {
       EXPECT_EQ(CompareIgnoringCase(UpdaterFolder(), BuildPath(QRV3_TEST_DIR)), 0) << UpdaterFolder();
     }},
};

class ContractTest : public ::testing::TestWithParam<Row> {};

TEST_P(ContractTest, Keeps) {
  Context t;
  if (GetParam().planted && Planted().empty()) GTEST_SKIP() << "what env_test.sh plants is missing";
  t.p = Planted() + "\\";
  GetParam().check(t);
}
INSTANTIATE_TEST_SUITE_P(Env, ContractTest, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.promise); });

}  // namespace
}  // namespace qrv3::testing
