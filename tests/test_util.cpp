#include "tests/test_util.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "tools/demo_install.h"

#ifdef _WIN32
#include <windows.h>

#include "engine/env_win.h"
#include "engine/utf.h"
#else
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

std::vector<uint8_t> ReadAll(const std::string& utf8_path) {
  std::ifstream in(demo::FsPath(utf8_path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + utf8_path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args) {
  std::wstring cmd = QuoteArg(Widen(program));
  for (const std::string& a : args) cmd += L" " + QuoteArg(Widen(a));
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE read_end, write_end;
  if (!CreatePipe(&read_end, &write_end, &sa, 0)) throw std::runtime_error("CreatePipe");
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  UniqueHandle reader(read_end), writer(write_end);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writer.get();
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    throw std::runtime_error("CreateProcessW " + program);
  }
  UniqueHandle process(pi.hProcess), thread(pi.hThread);
  writer.reset();
  ProcessResult r;
  char buf[4096];
  DWORD got;
  while (ReadFile(reader.get(), buf, sizeof buf, &got, nullptr) && got > 0) r.out.append(buf, got);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code;
  GetExitCodeProcess(process.get(), &code);
  r.exit_code = static_cast<int>(code);
  return r;
}
#else
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  ProcessResult r;
  char buf[4096];
  ssize_t got;
  while ((got = read(fds[0], buf, sizeof buf)) > 0) r.out.append(buf, static_cast<size_t>(got));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}
#endif

}  // namespace qrv3::testing
