#include "tests/test_util.h"

#include <cstring>
#include <fstream>
#include <random>
#include <string_view>
#include <stdexcept>
#include <thread>

#include "tools/demo_install.h"

#ifdef _WIN32
#include <windows.h>

#include "base/utf.h"
#include "base/win32_util_win.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace qrv3::testing {
namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() / ("qrv3-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::str() const { return demo::Utf8Path(path_); }

namespace {
// Calls `take` with each piece of the file in turn, read through one buffer: fresh memory for
// every file would cost more than the reading.
template <class Take>
void ReadChunks(const fs::path& p, Take&& take) {
  static std::string chunk(1 << 20, '\0');
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + p.string());
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
    take(std::string_view(chunk.data(), static_cast<size_t>(in.gcount())));
  }
  if (in.bad()) throw std::runtime_error("cannot read " + p.string());
}
}  // namespace

std::vector<uint8_t> ReadAll(const std::string& utf8_path) {
  std::vector<uint8_t> bytes;
  bytes.reserve(fs::file_size(demo::FsPath(utf8_path)));
  ReadChunks(demo::FsPath(utf8_path),
             [&](std::string_view got) { bytes.insert(bytes.end(), got.begin(), got.end()); });
  return bytes;
}

bool FileHolds(const std::string& utf8_path, const std::vector<uint8_t>& bytes) {
  size_t at = 0;
  bool same = true;
  ReadChunks(demo::FsPath(utf8_path), [&](std::string_view got) {
    same = same && at + got.size() <= bytes.size() &&
           std::memcmp(got.data(), bytes.data() + at, got.size()) == 0;
    at += got.size();
  });
  return same && at == bytes.size();
}

std::map<std::string, FileSnapshot> Snapshot(const fs::path& folder) {
  std::map<std::string, FileSnapshot> files;
  const auto add = [&](const fs::path& p) {
    size_t hash = 0;
    ReadChunks(p, [&](std::string_view got) { hash = hash * 31 ^ std::hash<std::string_view>()(got); });
    files[demo::Utf8Path(p)] = {fs::file_size(p), hash, fs::last_write_time(p)};
  };
  if (fs::is_regular_file(folder)) {
    add(folder);
    return files;
  }
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file()) add(e.path());
  }
  return files;
}

void SetReadOnly(const std::string& utf8_path, bool read_only) {
  const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(demo::FsPath(utf8_path), write,
                  read_only ? fs::perm_options::remove : fs::perm_options::add);
}

std::string BuildPath(const std::string& path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') {
    std::string p = "Z:" + path;
    for (char& c : p) {
      if (c == '/') c = '\\';
    }
    return p;
  }
#endif
  return path;
}

std::string ShellPath(const fs::path& path) { return "'" + path.string() + "'"; }

#ifdef _WIN32
namespace {
std::wstring QuoteArg(const std::wstring& a) {
  std::wstring q = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : a) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    q.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    q += c;
  }
  q.append(backslashes * 2, L'\\');
  return q + L"\"";
}
}  // namespace

ProcessResult RunCommandLine(const std::string& program, const std::string& tail,
                             const WhileBlocked& meanwhile) {
  std::wstring cmd = QuoteArg(Widen(program)) + Widen(tail);
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE out_read, out_write, err_read, err_write;
  if (!CreatePipe(&out_read, &out_write, &sa, meanwhile ? 4096 : 0)) throw std::runtime_error("CreatePipe");
  UniqueHandle out_reader(out_read), out_writer(out_write);
  if (!CreatePipe(&err_read, &err_write, &sa, 0)) throw std::runtime_error("CreatePipe");
  UniqueHandle err_reader(err_read), err_writer(err_write);
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  size_t filled = 0;
  if (meanwhile) {
    DWORD mode = PIPE_NOWAIT;
    SetNamedPipeHandleState(out_write, &mode, nullptr, nullptr);
    for (DWORD put; WriteFile(out_write, std::string(512, '.').data(), 512, &put, nullptr) && put > 0;) {
      filled += put;
    }
    mode = PIPE_WAIT;
    SetNamedPipeHandleState(out_write, &mode, nullptr, nullptr);
  }
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out_writer.get();
  si.hStdError = err_writer.get();
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    throw std::runtime_error("CreateProcessW " + program);
  }
  UniqueHandle process(pi.hProcess), thread(pi.hThread);
  out_writer.reset();
  err_writer.reset();
  if (meanwhile) meanwhile(static_cast<int>(pi.dwProcessId));
  ProcessResult r;
  auto drain = [](HANDLE from, std::string* to) {
    char buf[4096];
    DWORD got;
    while (ReadFile(from, buf, sizeof buf, &got, nullptr) && got > 0) to->append(buf, got);
  };
  std::thread err_thread(drain, err_reader.get(), &r.err);
  drain(out_reader.get(), &r.out);
  err_thread.join();
  r.out.erase(0, filled);
  // As text: a Windows program ends its lines the Windows way.
  for (std::string* s : {&r.out, &r.err}) {
    for (size_t at; (at = s->find("\r\n")) != std::string::npos;) s->erase(at, 1);
  }
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code;
  GetExitCodeProcess(process.get(), &code);
  r.exit_code = static_cast<int>(code);
  return r;
}

// The links and permission bits of the Linux under Wine are planted and read from outside, by
// the script that runs the real programs there.
std::optional<std::string> Shell(const std::string&) { return std::nullopt; }

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const WhileBlocked& meanwhile) {
  std::string tail;
  for (const std::string& a : args) tail += " " + Narrow(QuoteArg(Widen(a)));
  return RunCommandLine(program, tail, meanwhile);
}
#else
std::optional<std::string> Shell(const std::string& command) {
  return RunProcess("/bin/sh", {"-c", command}).out;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const WhileBlocked& meanwhile) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  size_t filled = 0;
  if (meanwhile) {
    fcntl(out[1], F_SETFL, O_NONBLOCK);
    const std::string filler(4096, '.');
    for (ssize_t n; (n = write(out[1], filler.data(), filler.size())) > 0;) filled += n;
    fcntl(out[1], F_SETFL, 0);
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
    // As from a terminal, whatever this test was started from (a background job ignores SIGINT).
    for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (meanwhile) meanwhile(pid);
  ProcessResult r;
  auto drain = [](int from, std::string* to) {
    char buf[4096];
    ssize_t got;
    while ((got = read(from, buf, sizeof buf)) > 0) to->append(buf, static_cast<size_t>(got));
    close(from);
  };
  std::thread err_thread(drain, err[0], &r.err);
  drain(out[0], &r.out);
  err_thread.join();
  r.out.erase(0, filled);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : -1;
  return r;
}
#endif

}  // namespace qrv3::testing
