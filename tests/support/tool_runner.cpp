// tool_runner.cpp - process launch for end-to-end tests: fork and exec on
// POSIX systems, CreateProcess on Windows (the cross build runs it under Wine).
#include "tool_runner.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <system_error>

#include <gtest/gtest.h>

#include "files.h"

namespace fs = std::filesystem;

namespace {

// Undoes the text-mode translation of Windows ("\r\n" back to '\n'). The
// translation is undone only when every '\n' has its '\r', so that a file
// written in binary mode by mistake is not mistaken for a correct one.
std::string FromPlatformText(const std::string& bytes) {
#ifdef _WIN32
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\n') {
            text += bytes[i];
        } else if (i > 0 && bytes[i - 1] == '\r') {
            text.back() = '\n';
        } else {
            return bytes;
        }
    }
    return text;
#else
    return bytes;
#endif
}

// Fills in what the run left on disk, and removes the captured console.
void CollectResults(const fs::path& workdir, const fs::path& out_file, ToolRun& result) {
    result.out_bytes = ReadFileBytes(out_file);
    result.out = FromPlatformText(result.out_bytes);
    std::error_code error;
    fs::remove(out_file, error);
    const fs::path log_file = workdir / "patcher.log";
    result.log_exists = fs::exists(log_file);
    // A FIFO in its place would block this read: only a file is read.
    if (fs::is_regular_file(log_file)) {
        result.log_bytes = ReadFileBytes(log_file);
        result.log = FromPlatformText(result.log_bytes);
    }
}

#ifdef _WIN32

// UTF-8 to UTF-16; never longer in code units than the UTF-8 in bytes.
std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0],
                                           static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length) - 1 : 0);
    return wide;
}

// One argument quoted so that the C runtime's command-line parser gives it
// back unchanged: backslashes are literal except before a quote.
std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

#endif

}  // namespace

#ifdef _WIN32

std::string GvtoolPath() {
    // The build knows the binary by its host path; Windows wants a drive.
    static const std::string path = fs::absolute(GVTOOL_PATH).make_preferred().u8string();
    return path;
}

std::string GvdumpPath() {
    static const std::string path = fs::absolute(GVDUMP_PATH).make_preferred().u8string();
    return path;
}

std::string GvundoPath() {
    static const std::string path = fs::absolute(GVUNDO_PATH).make_preferred().u8string();
    return path;
}

ToolRun RunTool(const fs::path& workdir, const std::vector<std::string>& args,
                const ToolOptions& options) {
    ToolRun result;
    if (options.file_size_limit || options.address_space_limit) {
        result.out = "file_size_limit and address_space_limit are POSIX only; "
                     "use SharedFileSizeLimit() on Windows";
        return result;
    }
    fs::path out_file = workdir;
    out_file += ".stdout";
    fs::path err_file = workdir;
    err_file += ".stderr";
    const std::string program = options.program.empty() ? GvtoolPath() : options.program;

    // Argument 0 is split by other rules: quotes only, no escapes.
    std::string command = program.find(' ') == std::string::npos ? program : '"' + program + '"';
    for (const std::string& arg : args) command += ' ' + QuoteArgument(arg);

    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileW(out_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err = CreateFileW(err_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) return result;

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    std::wstring wide_command = Wide(command);
    const BOOL started = CreateProcessW(Wide(program).c_str(), &wide_command[0], nullptr, nullptr,
                                        TRUE, 0, nullptr, workdir.c_str(), &startup, &process);
    CloseHandle(out);
    CloseHandle(err);
    if (started) {
        DWORD code = 0;
        if (WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(process.hProcess, &code)) {
            result.exit_status = static_cast<int>(code);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CollectResults(workdir, out_file, result);
    result.err = FromPlatformText(ReadFileBytes(err_file));
    std::error_code error;
    fs::remove(err_file, error);
    return result;
}

#else

std::string GvtoolPath() { return GVTOOL_PATH; }

std::string GvdumpPath() { return GVDUMP_PATH; }

std::string GvundoPath() { return GVUNDO_PATH; }

ToolRun RunTool(const fs::path& workdir, const std::vector<std::string>& args,
                const ToolOptions& options) {
    ToolRun result;
    // Standard output goes to a file beside the working folder, so the
    // folder holds only what the tool itself creates.
    fs::path out_file = workdir;
    out_file += ".stdout";
    fs::path err_file = workdir;
    err_file += ".stderr";
    const std::string program = options.program.empty() ? GvtoolPath() : options.program;

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    // Run unprivileged, the tool must not need the right to reach its own
    // binary: the checkout may lie in a folder only its owner can enter.
    const bool drop = options.unprivileged && geteuid() == 0;
    const int binary = drop ? open(program.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (drop && binary < 0) ADD_FAILURE() << "cannot open " << program;

    // With a file-size limit, standard output goes through a pipe, so that
    // the limit binds the tool's own files alone.
    int console[2] = {-1, -1};
    if (options.file_size_limit && pipe(console) != 0) ADD_FAILURE() << "no pipe";
    pid_t child = fork();
    if (child == 0) {
        if (chdir(workdir.c_str()) != 0) _exit(126);
        int fd = console[1] >= 0 ? console[1]
                                 : open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(126);
        close(fd);
        if (console[0] >= 0) close(console[0]);
        fd = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) _exit(126);
        close(fd);
        if (drop && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
        if (options.file_size_limit) {
            signal(SIGXFSZ, SIG_DFL);
            struct rlimit limit;
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(*options.file_size_limit);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
        }
        if (options.address_space_limit) {
            struct rlimit limit;
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(*options.address_space_limit);
            if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
        }
        // The alarm outlives the exec.
        if (options.time_limit_seconds) alarm(options.time_limit_seconds);
        if (drop) {
            fexecve(binary, argv.data(), environ);
        } else {
            execv(program.c_str(), argv.data());
        }
        _exit(127);
    }
    if (binary >= 0) close(binary);
    std::string piped;
    if (console[0] >= 0) {
        close(console[1]);
        char buffer[4096];
        ssize_t got;
        while ((got = read(console[0], buffer, sizeof buffer)) > 0) {
            piped.append(buffer, static_cast<size_t>(got));
        }
        close(console[0]);
        WriteFileBytes(out_file, piped);
    }
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child) {
        if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.term_signal = WTERMSIG(status);
    }
    CollectResults(workdir, out_file, result);
    result.err = ReadFileBytes(err_file);
    std::error_code error;
    fs::remove(err_file, error);
    // gvtool exits with 0 and writes nothing to standard error on every
    // path; anything else is a crash or a sanitizer report, which fails the
    // calling test whatever it checks itself.
    if (options.expect_quiet_success && (result.exit_status != 0 || !result.err.empty())) {
        ADD_FAILURE() << program << " exit status " << result.exit_status << "\n" << result.err;
    }
    return result;
}

#endif

std::optional<uint64_t> SharedFileSizeLimit() {
    const char* value = std::getenv("GVTOOL_FILE_SIZE_LIMIT");
    if (!value || !*value) return std::nullopt;
    char* end = nullptr;
    const unsigned long long limit = std::strtoull(value, &end, 10);
    if (*end != '\0' || limit == 0) return std::nullopt;
    return static_cast<uint64_t>(limit);
}

std::string PlatformText(const std::string& text) {
#ifdef _WIN32
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    return bytes;
#else
    return text;
#endif
}
