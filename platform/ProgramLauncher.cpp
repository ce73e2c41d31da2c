#include "platform/ProgramLauncher.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char **environ;

std::string BuildCommandLine(const std::string &workingDir, const std::string &tail) {
    std::string dir = workingDir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (dir == "/") dir.clear();
    return dir + tail;
}

std::vector<std::string> SplitCommandLine(const std::string &commandLine) {
    std::vector<std::string> words;
    std::string word;
    for (char c : commandLine) {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

namespace {

struct TSpawnActions {
    posix_spawn_file_actions_t actions;
    TSpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~TSpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

struct TSpawnAttributes {
    posix_spawnattr_t attributes;
    TSpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~TSpawnAttributes() { posix_spawnattr_destroy(&attributes); }
};

} // namespace

bool StartProgram(const std::string &commandLine, const std::string &workingDir) {
    const std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty()) return false;
    std::vector<char *> argv;
    for (const std::string &w : words)
        argv.push_back(const_cast<char *>(w.c_str()));
    argv.push_back(nullptr);

    TSpawnActions files;
    if (posix_spawn_file_actions_addchdir_np(&files.actions, workingDir.c_str()) != 0) return false;
    // The child inherits no open files beyond the standard three.
    if (posix_spawn_file_actions_addclosefrom_np(&files.actions, 3) != 0) return false;

    // The child starts with default signal handling and nothing blocked, whatever the
    // console's threads have set up.
    TSpawnAttributes attrs;
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attrs.attributes, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attrs.attributes, &none);
    posix_spawnattr_setflags(&attrs.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    // glibc's posix_spawn returns only after the child has called exec, and reports an exec
    // that failed (missing program, no permission) as an error: that is the wait until the
    // program has started.
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &files.actions, &attrs.attributes, argv.data(), environ) != 0)
        return false;

    // Nobody waits for a sibling program; reap it so it does not linger as a zombie.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}
