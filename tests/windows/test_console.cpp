// What reaches a console window: the lines of gvtool and gvdump that name
// files or folders in any script stand on the console's screen as they
// are, while its code page is not UTF-8 and stays what it was; a file or a
// pipe in the console's place gets the same UTF-8 bytes as ever. The console
// is a pseudo console of the test's own, whose screen the test reads back.
// What the screen cannot tell: how a font draws the characters.
#define NTDDI_VERSION 0x0A000006  // pseudo consoles
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "files.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

std::wstring Wide(const std::string& utf8) { return fs::u8path(utf8).wstring(); }

// A console as a terminal window holds one, attached to the test process
// for as long as the object lives. A process must keep a console alive for
// another to attach to it: the host, a command interpreter that waits on
// input that never comes.
class PseudoConsole {
public:
    PseudoConsole() {
        if (!CreatePipe(&input_read_, &input_write_, nullptr, 0) ||
            !CreatePipe(&output_read_, &output_write_, nullptr, 0) ||
            FAILED(CreatePseudoConsole(COORD{WIDTH, 50}, input_read_, output_write_, 0,
                                       &console_))) {
            problem_ = "no pseudo console";
            return;
        }
        // The console's rendering must be read, or the console stops.
        drain_ = std::thread([this] {
            char bytes[4096];
            DWORD count = 0;
            while (ReadFile(output_read_, bytes, sizeof bytes, &count, nullptr) && count > 0) {
            }
        });
        if (!StartHost()) {
            problem_ = "no host for the console";
            return;
        }
        FreeConsole();
        bool attached = false;
        for (int attempt = 0; attempt < 200 && !attached; ++attempt) {
            attached = AttachConsole(host_.dwProcessId);
            if (!attached) Sleep(50);
        }
        SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
        screen_ = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0,
                              nullptr);
        DWORD mode = 0;
        if (!attached || !GetConsoleMode(screen_, &mode)) problem_ = "cannot attach to it";
    }

    ~PseudoConsole() {
        if (screen_ != INVALID_HANDLE_VALUE) CloseHandle(screen_);
        FreeConsole();
        if (host_.hProcess) {
            TerminateProcess(host_.hProcess, 0);
            WaitForSingleObject(host_.hProcess, 10000);
            CloseHandle(host_.hProcess);
            CloseHandle(host_.hThread);
        }
        for (HANDLE pipe : {host_input_, host_input_write_}) {
            if (pipe) CloseHandle(pipe);
        }
        if (console_) ClosePseudoConsole(console_);
        for (HANDLE pipe : {input_read_, input_write_, output_write_}) {
            if (pipe) CloseHandle(pipe);
        }
        if (drain_.joinable()) drain_.join();
        if (output_read_) CloseHandle(output_read_);
    }

    PseudoConsole(const PseudoConsole&) = delete;
    PseudoConsole& operator=(const PseudoConsole&) = delete;

    // Empty once the console is the test process's.
    const std::string& problem() const { return problem_; }
    // The console's screen, inheritable: a child's standard output or error.
    HANDLE screen() const { return screen_; }

    // The row the next text starts on.
    SHORT NextRow() const {
        CONSOLE_SCREEN_BUFFER_INFO info = {};
        GetConsoleScreenBufferInfo(screen_, &info);
        return info.dwCursorPosition.X == 0 ? info.dwCursorPosition.Y
                                            : static_cast<SHORT>(info.dwCursorPosition.Y + 1);
    }

    // The screen's rows from the first on, trailing blanks dropped, in UTF-8.
    std::vector<std::string> Rows(SHORT first) const {
        std::vector<std::string> rows;
        for (SHORT row = first; row < NextRow(); ++row) {
            std::wstring text(WIDTH, L' ');
            DWORD read = 0;
            ReadConsoleOutputCharacterW(screen_, &text[0], WIDTH, COORD{0, row}, &read);
            text.resize(read);
            text.erase(text.find_last_not_of(L' ') + 1);
            rows.push_back(fs::path(text).u8string());
        }
        return rows;
    }

private:
    static const SHORT WIDTH = 250;

    bool StartHost() {
        SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
        if (!CreatePipe(&host_input_, &host_input_write_, &inheritable, 0)) return false;
        SetHandleInformation(host_input_write_, HANDLE_FLAG_INHERIT, 0);
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        std::vector<char> list_bytes(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_bytes.data());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size) ||
            !UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, console_,
                                       sizeof(console_), nullptr, nullptr)) {
            return false;
        }
        STARTUPINFOEXW startup = {};
        startup.StartupInfo.cb = sizeof(startup);
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = host_input_;
        startup.lpAttributeList = list;
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        const std::wstring interpreter = std::wstring(system) + L"\\cmd.exe";
        std::wstring command = L"cmd.exe /c pause";
        const bool started =
            CreateProcessW(interpreter.c_str(), &command[0], nullptr, nullptr, TRUE,
                           EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                           &startup.StartupInfo, &host_);
        DeleteProcThreadAttributeList(list);
        return started;
    }

    HPCON console_ = nullptr;
    HANDLE input_read_ = nullptr;
    HANDLE input_write_ = nullptr;
    HANDLE output_read_ = nullptr;
    HANDLE output_write_ = nullptr;
    HANDLE host_input_ = nullptr;  // the host's standard input, never written
    HANDLE host_input_write_ = nullptr;
    PROCESS_INFORMATION host_ = {};
    HANDLE screen_ = INVALID_HANDLE_VALUE;
    std::thread drain_;
    std::string problem_;
};

enum class Sink { Console, File, Pipe };

struct SinkRun {
    DWORD exit_status = ~0u;
    std::string bytes;  // what a file or a pipe got
};

// Runs the program in the folder with its standard output and error both
// going to the sink. The arguments are plain words: no quoting needed.
SinkRun RunTo(Sink sink, HANDLE screen, const std::string& program,
          const std::vector<std::string>& args, const fs::path& folder) {
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    const fs::path file = folder.parent_path() / (folder.filename().u8string() + ".out");
    HANDLE output = screen;
    HANDLE read_end = nullptr;
    if (sink == Sink::File) {
        output = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    } else if (sink == Sink::Pipe) {
        CreatePipe(&read_end, &output, &inheritable, 0);
        SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::wstring command = L"\"" + Wide(program) + L"\"";
    for (const std::string& arg : args) command += L" " + Wide(arg);
    PROCESS_INFORMATION process = {};
    const bool started =
        CreateProcessW(Wide(program).c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                       folder.c_str(), &startup, &process);
    // The child holds its own copy: a pipe ends when the child does.
    if (sink != Sink::Console && output != INVALID_HANDLE_VALUE) CloseHandle(output);
    SinkRun run;
    if (read_end) {
        char bytes[4096];
        DWORD count = 0;
        while (ReadFile(read_end, bytes, sizeof bytes, &count, nullptr) && count > 0) {
            run.bytes.append(bytes, count);
        }
        CloseHandle(read_end);
    }
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.exit_status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (sink == Sink::File) run.bytes = ReadFileBytes(file);
    return run;
}

// The text's lines, each a row of the console.
std::vector<std::string> RowsOf(const std::string& text) {
    std::vector<std::string> rows;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        rows.push_back(text.substr(start, end - start));
    }
    return rows;
}

class ConsoleText : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(console_.problem(), "");
        // Names outside the console's code page prove something only while
        // that code page is not UTF-8.
        ASSERT_NE(GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8)) << "the test proves nothing";
    }

    // Runs the program to the console, a file and a pipe in turn: the
    // console shows the text's rows, the others get its UTF-8 bytes in text
    // mode. The console's code pages stay as they were.
    void Expect(const std::string& program, const std::vector<std::string>& args,
                const fs::path& folder, const std::string& text, DWORD exit_status) {
        const UINT output_code_page = GetConsoleOutputCP();
        const UINT input_code_page = GetConsoleCP();
        const struct {
            const char* name;
            Sink sink;
        } sinks[] = {{"console", Sink::Console}, {"file", Sink::File}, {"pipe", Sink::Pipe}};
        for (const auto& [name, sink] : sinks) {
            SCOPED_TRACE(name);
            const SHORT first = console_.NextRow();
            const SinkRun run = RunTo(sink, console_.screen(), program, args, folder);
            EXPECT_EQ(run.exit_status, exit_status);
            if (sink == Sink::Console) {
                EXPECT_EQ(console_.Rows(first), RowsOf(text));
            } else {
                EXPECT_EQ(run.bytes, PlatformText(text));
            }
        }
        EXPECT_EQ(GetConsoleOutputCP(), output_code_page);
        EXPECT_EQ(GetConsoleCP(), input_code_page);
    }

    PseudoConsole console_;
};

TEST_F(ConsoleText, UsageShowsTheProgramsPathInAnyScript) {
    TempDir dir;
    const fs::path copy = dir.path() / fs::u8path("Инструменты 工具") / "gvtool.exe";
    fs::create_directory(copy.parent_path());
    fs::copy_file(GvtoolPath(), copy);
    const std::string program = copy.u8string();
    Expect(program, {}, dir.path(),
           "usage :\n" + program + " [CONF_FILE_NAME] [SAVE_DAT_FILE]\n\nexample:\n"
           "gvtool config.xml SLOT0\\SAVE.DAT\n", 0);
    EXPECT_FALSE(fs::exists(dir / "patcher.log"));
}

TEST_F(ConsoleText, GvdumpShowsTheSavesNameInAnyScript) {
    TempDir dir;
    Expect(GvdumpPath(), {"Дмитрий\\存档.DAT"}, dir.path(),
           "gvdump: Дмитрий\\存档.DAT: no such file\n", 1);
}

}  // namespace
