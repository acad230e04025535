// A console for tests of the console output code page.
//
// On Windows the library switches the code page of the process's real
// console (GetConsoleOutputCP / SetConsoleOutputCP), so a test needs one.
// A process started by CTest under Wine has none: Wine gives it a
// window-less stand-in whose code page reads 0 and cannot be set, and
// AllocConsole without a display yields the same. A pseudo console
// (headless, no window) works there as on Windows: the test process starts
// an idle child on one and attaches to the child's console.
//
// Elsewhere the library keeps a process-wide stand-in for the code page,
// which needs nothing.
#pragma once

#include <string>

#if defined(_WIN32)
#include <windows.h>

#include <thread>
#endif

namespace tavisor::testing {

#if defined(_WIN32)

class TestConsole {
 public:
  // Attached on first use, for the rest of the process.
  static TestConsole& Instance() {
    static TestConsole console;
    return console;
  }

  // Empty once the code page can be read and set; else why not.
  const std::string& failure() const { return failure_; }

  TestConsole(const TestConsole&) = delete;
  TestConsole& operator=(const TestConsole&) = delete;

 private:
  using CreatePseudoConsoleFn = HRESULT(WINAPI*)(COORD, HANDLE, HANDLE, DWORD, void**);
  using ClosePseudoConsoleFn = void(WINAPI*)(void*);
  // PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, which older SDK headers lack.
  static constexpr DWORD_PTR kPseudoConsoleAttribute = 0x00020016;

  TestConsole() {
    if (Usable()) return;  // a real console, e.g. a terminal or wineconsole
    failure_ = AttachPseudoConsole();
    if (failure_.empty() && !Usable()) {
      failure_ = "the attached pseudo console does not take a code page";
    }
  }

  ~TestConsole() {
    if (child_.hProcess != nullptr) {
      ::FreeConsole();
      ::TerminateProcess(child_.hProcess, 0);
      ::WaitForSingleObject(child_.hProcess, 5000);
      ::CloseHandle(child_.hProcess);
      ::CloseHandle(child_.hThread);
    }
    if (idle_writer_ != nullptr) ::CloseHandle(idle_writer_);
    if (console_ != nullptr) close_(console_);
    if (input_ != nullptr) ::CloseHandle(input_);
    if (drain_.joinable()) drain_.join();  // ends when the console's output closes
    if (output_ != nullptr) ::CloseHandle(output_);
  }

  static bool Usable() {
    const UINT current = ::GetConsoleOutputCP();
    return current != 0 && ::SetConsoleOutputCP(current) != 0;
  }

  template <class Fn>
  static Fn Kernel32(const char* name) {
    const FARPROC proc = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
  }

  std::string AttachPseudoConsole() {
    const auto create = Kernel32<CreatePseudoConsoleFn>("CreatePseudoConsole");
    close_ = Kernel32<ClosePseudoConsoleFn>("ClosePseudoConsole");
    if (create == nullptr || close_ == nullptr) return "this system has no pseudo consoles";

    HANDLE console_input = nullptr, console_output = nullptr;
    if (!::CreatePipe(&console_input, &input_, nullptr, 0) ||
        !::CreatePipe(&output_, &console_output, nullptr, 0)) {
      return "CreatePipe failed: " + std::to_string(::GetLastError());
    }
    const HRESULT created = create(COORD{80, 25}, console_input, console_output, 0, &console_);
    // The pseudo console holds its own duplicates.
    ::CloseHandle(console_input);
    ::CloseHandle(console_output);
    if (FAILED(created)) return "CreatePseudoConsole failed: " + std::to_string(created);
    // The console's output must be read, or it may stall once the pipe is full.
    drain_ = std::thread([pipe = output_] {
      char buffer[4096];
      DWORD n = 0;
      while (::ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
      }
    });

    // The child idles reading a pipe that only this process could write
    // to: it ends once terminated, or once this process is gone.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE idle_input = nullptr;
    if (!::CreatePipe(&idle_input, &idle_writer_, &inheritable, 0) ||
        !::SetHandleInformation(idle_writer_, HANDLE_FLAG_INHERIT, 0)) {
      return "CreatePipe failed: " + std::to_string(::GetLastError());
    }
    const HANDLE nul = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inheritable, OPEN_EXISTING, 0, nullptr);
    HANDLE inherited[] = {idle_input, nul};

    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 2, 0, &size);
    std::string list_storage(size, '\0');
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_storage.data());
    const bool list_made = ::InitializeProcThreadAttributeList(list, 2, 0, &size);
    const bool attributes_set =
        list_made &&
        ::UpdateProcThreadAttribute(list, 0, kPseudoConsoleAttribute, console_, sizeof console_,
                                    nullptr, nullptr) &&
        ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                    sizeof inherited, nullptr, nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = list;
    // Standard handles of its own: none of this process's, and an input
    // that never ends (cmd.exe would end at once on an empty one).
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = idle_input;
    startup.StartupInfo.hStdOutput = nul;
    startup.StartupInfo.hStdError = nul;
    std::wstring command = L"cmd.exe /q";
    const BOOL started =
        attributes_set && ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                           EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                           &startup.StartupInfo, &child_);
    const DWORD error = ::GetLastError();
    if (list_made) ::DeleteProcThreadAttributeList(list);
    ::CloseHandle(idle_input);
    if (nul != INVALID_HANDLE_VALUE) ::CloseHandle(nul);
    if (!attributes_set) return "the process attributes failed: " + std::to_string(error);
    if (!started) return "cmd.exe could not be started: " + std::to_string(error);

    ::FreeConsole();  // Wine's window-less stand-in, if any
    // The child attaches to its console as it starts up: retry briefly.
    for (int attempt = 0; attempt < 250; ++attempt) {
      if (::AttachConsole(child_.dwProcessId)) return {};
      ::Sleep(20);
    }
    return "AttachConsole to the pseudo console failed: " + std::to_string(::GetLastError());
  }

  std::string failure_;
  void* console_ = nullptr;
  ClosePseudoConsoleFn close_ = nullptr;
  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
  HANDLE idle_writer_ = nullptr;
  std::thread drain_;
  PROCESS_INFORMATION child_{};
};

inline std::string ConsoleUnavailableReason() {
  const std::string& failure = TestConsole::Instance().failure();
  return failure.empty() ? std::string() : "no console for the code page: " + failure;
}

#else

inline std::string ConsoleUnavailableReason() { return {}; }

#endif

}  // namespace tavisor::testing

// Skips the current test, with the reason, where the process can get no
// console whose output code page can be set.
#define TAVISOR_SKIP_WITHOUT_CONSOLE()                                                        \
  do {                                                                                        \
    if (const std::string why = ::tavisor::testing::ConsoleUnavailableReason(); !why.empty()) \
      GTEST_SKIP() << why;                                                                    \
  } while (false)
