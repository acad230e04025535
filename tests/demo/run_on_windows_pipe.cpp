// Runs a program with its standard output on a Windows pipe, which this
// reads while the program runs or, with --stalled, only once it has ended
// (as a reader that stopped reading leaves it):
//
//   run_on_windows_pipe [--stalled] PIPED_FILE PROGRAM [ARGS...]
//
// Prints "started" once the program runs and "exit STATUS" as soon as it has
// ended, and writes what came through the pipe to PIPED_FILE.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// One argument of the command line, quoted (the tests' own arguments hold
// no double quote).
std::string Quoted(const char* argument) { return '"' + std::string(argument) + '"'; }

int Fail(const char* what) {
  std::fprintf(stderr, "run_on_windows_pipe: %s failed: error %lu\n", what, ::GetLastError());
  return 2;
}

// Copies what comes through `pipe` to `file` until the pipe is closed.
void Copy(HANDLE pipe, FILE* file) {
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    std::fwrite(buffer, 1, got, file);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool stalled = argc > 1 && std::string(argv[1]) == "--stalled";
  if (stalled) {
    --argc;
    ++argv;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: run_on_windows_pipe [--stalled] PIPED_FILE PROGRAM [ARGS...]\n");
    return 2;
  }
  FILE* piped = std::fopen(argv[1], "wb");
  if (piped == nullptr) return Fail("opening PIPED_FILE");
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, &inherited, 0)) return Fail("CreatePipe");
  ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

  std::string command_line = Quoted(argv[2]);
  for (int i = 3; i < argc; ++i) command_line += ' ' + Quoted(argv[i]);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return Fail("CreateProcess");
  }
  ::CloseHandle(write_end);  // the program's copy is the only one left
  std::printf("started\n");
  std::fflush(stdout);

  if (!stalled) Copy(read_end, piped);  // until the program closes its end
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  ::GetExitCodeProcess(process.hProcess, &status);
  std::printf("exit %lu\n", status);
  std::fflush(stdout);
  Copy(read_end, piped);  // what the pipe still holds
  std::fclose(piped);
  return 0;
}
