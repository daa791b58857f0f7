// The promises of the file services (engine/env.h), one row each, as Env::Default() keeps them
// here: natively, and under Wine in both Windows builds (env_tests). What a Windows program cannot
// make, env_test.sh plants from outside; where the platforms differ by nature, a row says what
// each promises (Windows being Wine here).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <utility>

#include "tests/engine/fixture.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;
using Code = Status::Code;

#ifdef _WIN32
constexpr bool kPosix = false;
int g_closed_twice = 0;
#else
constexpr bool kPosix = true;
// The moments between making a file and asking what it is, and between asking what an entry is
// and opening it, for a test to change the folder in: this program's fstat and fstatat stand in
// for the system's, as in hazards_test.cpp. Its close counts the descriptors closed that were not
// open: one released twice, which in a program with threads closes another's file.
std::function<void()> g_before_fstat, g_after_fstatat;
extern "C" int fstat(int fd, struct stat* st) {
  static const auto system_fstat = reinterpret_cast<int (*)(int, struct stat*)>(dlsym(RTLD_NEXT, "fstat"));
  if (const auto hook = std::exchange(g_before_fstat, nullptr)) hook();
  return system_fstat(fd, st);
}
extern "C" int fstatat(int dir, const char* name, struct stat* st, int flags) {
  static const auto system_fstatat =
      reinterpret_cast<int (*)(int, const char*, struct stat*, int)>(dlsym(RTLD_NEXT, "fstatat"));
  const int r = system_fstatat(dir, name, st, flags);
  if (const auto hook = std::exchange(g_after_fstatat, nullptr)) hook();
  return r;
}
int g_closed_twice = 0;
extern "C" int close(int fd) {
  static const auto system_close = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
  const int r = system_close(fd);
  if (r != 0 && errno == EBADF) ++g_closed_twice;
  return r;
}
#endif

// env_test.sh's folder: given by it (QRV3_PLANTED), or planted here by it where there is a shell.
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

struct Context {
  Env& env = *Env::Default();
  TempDir dir;
  std::unique_ptr<Folder> own, planted;  // `dir`, and the planted folder for the rows that use it
  // What the calls hand back, for the rows to look at.
  std::unique_ptr<ReadableFile> file;
  std::unique_ptr<NewFile> made;
  std::unique_ptr<Folder> folder;
  std::unique_ptr<FolderLock> lock;
  uint64_t size = 0;
  FileStamp stamp;
  std::error_code ec;
  std::string At(const std::string& name) const { return dir / name; }
  std::string P(const std::string& name) const { return Planted() + "\\" + name; }
  std::string Put(const std::string& name, const std::string& text) const {
    std::ofstream(demo::FsPath(At(name)), std::ios::binary) << text;
    return At(name);
  }
  Code Opens(const std::string& path, std::unique_ptr<ReadableFile>* f = nullptr) {
    std::unique_ptr<ReadableFile> mine;
    return env.OpenFile(path, f ? f : &mine).code();
  }
  std::unique_ptr<NewFile> New(const std::string& name, const std::string& text) {
    std::unique_ptr<NewFile> f;
    EXPECT_TRUE(own->CreateNew(name, &f).ok() && f->Append(reinterpret_cast<const uint8_t*>(text.data()), text.size()).ok());
    return f;
  }
  static std::vector<std::string> Names(Folder& folder) {
    std::vector<std::string> names{"what the list held before"};
    EXPECT_TRUE(folder.List(&names).ok());
    std::sort(names.begin(), names.end());
    return names;
  }
};

bool Holds(const std::string& path, const std::string& text) {
  return FileHolds(path, std::vector<uint8_t>(text.begin(), text.end()));
}
std::string Read(ReadableFile& f, size_t n, uint64_t at = 0) {
  std::string s(n, '\0');
  EXPECT_TRUE(f.ReadAt(at, n, reinterpret_cast<uint8_t*>(s.data())).ok());
  return s;
}

struct Row {
  const char* promise;
  bool planted;  // uses what env_test.sh plants
  void (*check)(Context&);
};

const Row kRows[] = {
    // Wine shows a link as what it points to, and one to nothing as nothing.
    {"OpenFileRefusesAnythingButAPlainFile", true, [](Context& t) {
       for (const std::string name : {"link", "folder", "fifo", "folder-link", "dangling"}) {
         const Code want = !kPosix && name == "dangling" ? Code::kNotFound : Code::kAccessDenied;
         EXPECT_EQ(t.Opens(t.P(name)), want) << name;
         EXPECT_EQ(t.planted->OpenFile(name, &t.file).code(), want) << name;
       }
       EXPECT_EQ(t.Opens(BuildPath("/dev/null")), Code::kAccessDenied);
       EXPECT_EQ(t.Opens(t.P("folder-link\\inside.txt"), &t.file), Code::kOk);  // a link further up is followed
       EXPECT_EQ(Read(*t.file, 7), "inside\n");
     }},
    // Whatever becomes of its name, it reads the file that was opened.
    {"ReadAtReadsTheFileOpenedAndPastItsEndIsAShortFile", false, [](Context& t) {
       ASSERT_EQ(t.Opens(t.Put("a", "0123456789"), &t.file), Code::kOk);
       fs::rename(demo::FsPath(t.At("a")), demo::FsPath(t.At("moved")));
       t.Put("a", "new");
       EXPECT_EQ(Read(*t.file, 4, 6), "6789");
       uint8_t buf[4];
       for (const uint64_t at : {7, 10, 20}) EXPECT_EQ(t.file->ReadAt(at, 4, buf).code(), Code::kShortFile) << at;
     }},
    // POSIX asks what the entry is before it opens it, and then whether it opened that: another
    // file swapped in between is refused.
    {"OpenFileNeverOpensAFileSwappedInMeanwhile", false, [](Context& t) {
       t.Put("a", "mine");
#ifdef _WIN32
       GTEST_SKIP() << "Windows opens first and asks the handle: there is no moment between";
#else
       g_after_fstatat = [&] { fs::rename(demo::FsPath(t.Put("b", "other")), demo::FsPath(t.At("a"))); };
       EXPECT_EQ(t.own->OpenFile("a", &t.file).code(), Code::kAccessDenied);
#endif
     }},
    {"InfoTellsOneFileFromAnotherWhateverItsNames", false, [](Context& t) {
       fs::create_hard_link(demo::FsPath(t.Put("a", "0123456789")), demo::FsPath(t.At("b")));
       SetReadOnly(t.Put("other", "0123456789"), true);
       std::unique_ptr<ReadableFile> a, b, other;
       EntryInfo ia, ib, io;
       ASSERT_TRUE(t.Opens(t.At("a"), &a) == Code::kOk && t.own->OpenFile("b", &b).ok() &&
                   t.own->OpenFile("other", &other).ok());
       ASSERT_TRUE(a->Info(&ia).ok() && b->Info(&ib).ok() && other->Info(&io).ok());
       EXPECT_TRUE(ia.volume == ib.volume && ia.index == ib.index && ia.index != io.index);
       EXPECT_TRUE(ia.size == 10 && io.read_only && !ia.read_only);
       // A file system of its own tells its files apart by the volume (Wine shows one volume, Z:).
       ASSERT_TRUE(t.Opens(BuildPath("/proc/version"), &other) == Code::kOk && other->Info(&io).ok());
       EXPECT_TRUE(!kPosix || io.volume != ia.volume);
     }},
    // Only Windows holds a file without sharing.
    {"AFileHeldWithoutSharingStillOpensForWhatItIs", false, [](Context& t) {
       EntryInfo info;
       FileMetadata metadata;
#ifdef _WIN32
       UniqueHandle held(CreateFileW(Win32Path(t.Put("a", "01")).c_str(), GENERIC_READ, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
#else
       t.Put("a", "01");
#endif
       ASSERT_TRUE(t.own->OpenFile("a", &t.file).ok() && t.file->Info(&info).ok() && t.file->GetMetadata(&metadata).ok());
       EXPECT_EQ(info.size, 2u);
       uint8_t buf[2];
       EXPECT_EQ(t.file->ReadAt(0, 2, buf).ok(), kPosix);
     }},
    {"CreateNewMakesAnEmptyFileWhereNothingIs", true, [](Context& t) {
       for (const char* name : {"target.txt", "link", "dangling", "folder", "fifo", "Two"}) {
         EXPECT_EQ(t.planted->CreateNew(name, &t.made).code(), Code::kExists) << name;
       }
       EXPECT_FALSE(t.env.FileExists(t.P("nowhere")));
       EXPECT_TRUE(t.own->CreateNew("new", &t.made).ok() && t.env.GetFileSize(t.At("new"), &t.size).ok() && t.size == 0);
     }},
    // Windows makes it without sharing: nothing can give it a second name while it is open. POSIX
    // makes it exclusively: it can only have grown one since, and then it is refused and goes.
    {"ANewFileHasNoOtherName", false, [](Context& t) {
       const fs::path made = demo::FsPath(t.At("new")), second = demo::FsPath(t.At("second"));
#ifdef _WIN32
       if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
         GTEST_SKIP() << "Wine lets a Windows program name a file open without sharing, as a Linux process can";
       }
       ASSERT_TRUE(t.own->CreateNew("new", &t.made).ok());
       EXPECT_FALSE(CreateHardLinkW(second.c_str(), made.c_str(), nullptr));
#else
       g_before_fstat = [&] { fs::create_hard_link(made, second); };
       EXPECT_EQ(t.own->CreateNew("new", &t.made).code(), Code::kAccessDenied);
       EXPECT_FALSE(fs::exists(made));
#endif
     }},
    // A write the system refuses is reported (here: past the process's file size limit, on POSIX).
    {"AppendReportsAWriteTheSystemRefuses", false, [](Context& t [[maybe_unused]]) {
#ifdef _WIN32
       GTEST_SKIP() << "Windows has no file size limit of a process to run into";
#else
       struct rlimit old, four;
       ASSERT_TRUE(getrlimit(RLIMIT_FSIZE, &old) == 0 && t.own->CreateNew("new", &t.made).ok());
       four = {4, old.rlim_max};
       const auto handler = signal(SIGXFSZ, SIG_IGN);
       setrlimit(RLIMIT_FSIZE, &four);
       const Status s = t.made->Append(reinterpret_cast<const uint8_t*>("01234567"), 8);
       setrlimit(RLIMIT_FSIZE, &old);
       signal(SIGXFSZ, handler);
       EXPECT_EQ(s.code(), Code::kIoError) << s.ToString();
#endif
     }},
    // A POSIX rename replaces a file another program holds, which goes on reading the old one;
    // Windows refuses it, and nothing changes.
    {"ReplaceIntoOverAHeldDatabase", false, [](Context& t) {
       std::ifstream holder(demo::FsPath(t.Put("db", "old")), std::ios::binary);
       const Status s = t.New("db.tmp", "new")->ReplaceInto("db");
       EXPECT_TRUE(kPosix ? s.ok() : s.code() == Code::kInUse || s.code() == Code::kAccessDenied) << s.ToString();
       EXPECT_EQ(Holds(t.At("db"), "new"), kPosix);
       EXPECT_EQ(std::string(std::istreambuf_iterator<char>(holder), {}), "old");
     }},
    {"IsEntryTellsWhetherAnEntryIsThisVeryFile", false, [](Context& t) {
       t.Put("db", "old");
       auto f = t.New("db.tmp", "new");
       bool same = true, missing = true, after = false;
       EXPECT_TRUE(f->IsEntry("db", &same).ok() && f->IsEntry("missing", &missing).ok() && !same && !missing);
       ASSERT_TRUE(f->ReplaceInto("db").ok());
       EXPECT_TRUE(f->IsEntry("db", &after).ok() && after);
     }},
    // A name removed behind its back is reported on POSIX; on Windows nothing can remove it.
    {"DiscardDeletesTheNewFileAndSaysSo", false, [](Context& t) {
       EXPECT_TRUE(t.New("new", "x")->Discard().ok());
       t.New("new", "x").reset();
       EXPECT_EQ(t.Names(*t.own), std::vector<std::string>{});
       auto f = t.New("new", "x");
       EXPECT_EQ(fs::remove(demo::FsPath(t.At("new")), t.ec), kPosix);
       EXPECT_EQ(f->Discard().code(), kPosix ? Code::kNotFound : Code::kOk);
     }},
    // A lock file found (a killed run's) serves; POSIX removes it with the lock, Windows leaves it.
    {"ALockIsHeldOnceAndItsFileGoesWithIt", false, [](Context& t) {
       std::unique_ptr<FolderLock> second;
       ASSERT_TRUE(t.env.OpenFolder(t.dir.str(), &t.folder).ok() && t.own->Lock("x.lock", &t.lock).ok());
       EXPECT_EQ(t.folder->Lock("x.lock", &second).code(), Code::kBusy);
       t.lock.reset();
       EXPECT_EQ(t.Names(*t.own), std::vector<std::string>{});
       t.Put("x.lock", "");
       ASSERT_TRUE(t.folder->Lock("x.lock", &second).ok());
       second.reset();
       EXPECT_EQ(t.Names(*t.own).size(), kPosix ? 0u : 1u);
       fs::create_hard_link(demo::FsPath(t.Put("y.lock", "")), demo::FsPath(t.At("y2")));
       EXPECT_EQ(t.own->Lock("y.lock", &t.lock).code(), Code::kAccessDenied);
       if (!kPosix) return;  // Windows lets no other file take the name of one held unshared
       ASSERT_TRUE(t.own->Lock("z.lock", &t.lock).ok());
       fs::rename(demo::FsPath(t.Put("other", "")), demo::FsPath(t.At("z.lock")));
       t.lock.reset();
       EXPECT_TRUE(t.env.FileExists(t.At("z.lock")));  // not the lock's own file: it stays
     }},
    {"ALockIsNeverTakenThroughALink", true, [](Context& t) {
       EXPECT_EQ(t.planted->Lock("lock-link", &t.lock).code(), Code::kAccessDenied);
       EXPECT_EQ(t.planted->Lock("dangling", &t.lock).code(), Code::kAccessDenied);
       EXPECT_TRUE(Holds(t.P("target.txt"), "target\n") && !t.env.FileExists(t.P("nowhere")));
     }},
    // Some of the planted names are other rows' to remove.
    {"ListNamesEveryEntryButTheDotEntries", true, [](Context& t) {
       const std::vector<std::string> names = t.Names(*t.planted), some = {
           "Two", "fifo", "folder", "folder-link", "link", "target.txt", "two", "unreadable"};
       EXPECT_TRUE(std::includes(names.begin(), names.end(), some.begin(), some.end())) << ::testing::PrintToString(names);
       EXPECT_EQ(std::count(names.begin(), names.end(), "dangling"), kPosix ? 1 : 0);  // nothing, to Wine
       EXPECT_EQ(std::count_if(names.begin(), names.end(), [](auto& n) { return n == "." || n == ".."; }), 0);
     }},
    // Only "no such entry" is absent. Root cannot be kept out of a folder: there its listing fails
    // for want of a descriptor instead, where a process's limit can say so (POSIX).
    {"ALookupThroughAFolderThatCannotBeListedFails", true, [](Context& t) {
       std::vector<std::string> names;
       const bool root = t.env.OpenFolder(t.P("unreadable"), &t.folder).ok() && t.folder->List(&names).ok();
#ifdef _WIN32
       if (root) GTEST_SKIP() << "this user may list a folder without the permission to (root)";
#else
       struct rlimit old, none;
       const int lowest_free = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
       ASSERT_TRUE(lowest_free >= 0 && ::close(lowest_free) == 0 && getrlimit(RLIMIT_NOFILE, &old) == 0);
       none = {static_cast<rlim_t>(lowest_free), old.rlim_max};
       if (root) setrlimit(RLIMIT_NOFILE, &none);
#endif
       const Code size = t.env.GetFileSize(t.P("unreadable\\ENTRY"), &t.size).code();
       const bool exists = t.env.FileExists(t.P("unreadable\\ENTRY"));
#ifndef _WIN32
       setrlimit(RLIMIT_NOFILE, &old);
#endif
       EXPECT_EQ(size, root ? Code::kIoError : Code::kAccessDenied);  // EMFILE, or EACCES
       EXPECT_FALSE(exists);
     }},
    // On a case-sensitive disk two entries that differ only in case are ambiguous.
    {"NamesResolveIgnoringLetterCaseButNeverTwoAtOnce", true, [](Context& t) {
       EXPECT_TRUE(t.env.GetFileSize(t.P("FOLDER\\Inside.TXT"), &t.size).ok() && t.size == 7);
       EXPECT_TRUE(t.env.FileExists(t.P("Folder\\INSIDE.txt")));
       EXPECT_TRUE(t.env.GetFileSize(t.P("Two"), &t.size).ok() && t.size == 6);  // as written
       EXPECT_EQ(t.env.GetFileSize(t.P("TWO"), &t.size).code(), kPosix ? Code::kAmbiguous : Code::kOk);
       EXPECT_EQ(t.env.GetFileSize(t.P("Three"), &t.size).code(), Code::kNotFound);
       EXPECT_EQ(t.env.GetFileSize(t.P("target.txt\\x"), &t.size).code(), Code::kNotFound);
       EXPECT_FALSE(t.env.FileExists(t.P("target.txt\\")));  // a file, named as a folder
     }},
    // Windows code under Wine cannot remove a Unix link as a link: it stays (and one to nothing is
    // nothing). Only Windows keeps a read-only file.
    {"RemoveTakesAFileOrALinkItselfButNeverAFolder", true, [](Context& t) {
       EXPECT_EQ(t.planted->Remove("remove-link").code(), kPosix ? Code::kOk : Code::kAccessDenied);
       EXPECT_EQ(t.planted->Remove("remove-dangling").code(), kPosix ? Code::kOk : Code::kNotFound);
       EXPECT_TRUE(Holds(t.P("target.txt"), "target\n"));
       SetReadOnly(t.Put("read-only", ""), true);
       fs::create_directory(demo::FsPath(t.At("folder")));
       ASSERT_TRUE(t.env.OpenFolder(BuildPath("/proc"), &t.folder).ok());
       EXPECT_EQ(t.folder->Remove("version").code(), Code::kAccessDenied);
       t.Put("a", "");
       EXPECT_TRUE(t.own->Remove("a").ok());
       EXPECT_EQ(t.own->Remove("read-only").code(), kPosix ? Code::kOk : Code::kAccessDenied);
       EXPECT_EQ(t.own->Remove("folder").code(), Code::kAccessDenied);
       EXPECT_EQ(t.own->Remove("missing").code(), Code::kNotFound);
       EXPECT_EQ(t.Names(*t.own).size(), kPosix ? 1u : 2u);
     }},
    // A file is no folder, and no link either: to POSIX it names none, to Windows none it may open.
    {"OpenFolderRefusesALink", true, [](Context& t) {
       EXPECT_EQ(t.env.OpenFolder(t.P("folder-link"), &t.folder).code(), Code::kAccessDenied);
       EXPECT_EQ(t.env.OpenFolder(t.P("missing"), &t.folder).code(), Code::kNotFound);
       EXPECT_EQ(t.env.OpenFolder(t.P("target.txt"), &t.folder).code(), kPosix ? Code::kNotFound : Code::kAccessDenied);
     }},
    // On Windows nothing can rename it while it is open.
    {"AnOpenFolderStaysTheFolderItOpened", false, [](Context& t) {
       fs::create_directory(demo::FsPath(t.At("sub")));
       ASSERT_TRUE(t.env.OpenFolder(t.At("sub"), &t.folder).ok());
       fs::rename(demo::FsPath(t.At("sub")), demo::FsPath(t.At("moved")), t.ec);
       fs::create_directory(demo::FsPath(t.At("sub")), t.ec);
       t.Put("moved\\a", "");
       EXPECT_EQ(t.Names(*t.folder).size(), kPosix ? 1u : 0u);
     }},
};

class ContractTest : public ::testing::TestWithParam<Row> {};

TEST_P(ContractTest, Keeps) {
  if (GetParam().planted && Planted().empty()) GTEST_SKIP() << "what env_test.sh plants is missing";
  const int closed_twice = g_closed_twice;
  {
    Context t;
    ASSERT_TRUE(t.env.OpenFolder(t.dir.str(), &t.own).ok());
    ASSERT_TRUE(!GetParam().planted || t.env.OpenFolder(Planted(), &t.planted).ok());
    GetParam().check(t);
  }
  EXPECT_EQ(g_closed_twice, closed_twice) << "a descriptor was closed twice";
}
INSTANTIATE_TEST_SUITE_P(Env, ContractTest, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.promise); });

}  // namespace
}  // namespace qrv3::testing
