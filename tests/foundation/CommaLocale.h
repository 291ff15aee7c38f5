#pragma once
// Finds a locale whose decimal separator is a comma, for the tests that
// check numbers in text files ignore the user's locale.
//
// Tries the usual installed names first; when none is installed and the
// machine has localedef with the locale sources, compiles de_DE.UTF-8 into
// a private folder under $XDG_CACHE_HOME and points LOCPATH at it. Returns
// "" when no such locale can be had: the tests then fail, saying it is
// missing (scripts/setup.sh generates de_DE.UTF-8).

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <langinfo.h>
#include <locale.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char** environ;

namespace commalocale {

inline bool hasCommaDecimal(const char* name) {
    const locale_t loc = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(0));
    if (!loc) return false;
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    const bool comma = radix && std::strcmp(radix, ",") == 0;
    freelocale(loc);
    return comma;
}

// Runs localedef without a shell; true when it exits with 0.
inline bool compileLocale(const std::string& folder) {
    const std::string target = folder + "/de_DE.UTF-8";
    const char* argv[] = {"localedef", "-i", "de_DE", "-f", "UTF-8", target.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, "localedef", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline std::string find() {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "es_ES.UTF-8",
                           "it_IT.UTF-8", "nl_NL.UTF-8", "pt_BR.UTF-8", "ru_RU.UTF-8", "de_DE"};
    for (const char* name : names) {
        if (hasCommaDecimal(name)) return name;
    }
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (!cache || !cache[0]) return "";
    const std::string folder = std::string(cache) + "/locales";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    if (!compileLocale(folder)) return "";
    setenv("LOCPATH", folder.c_str(), 1);
    if (hasCommaDecimal("de_DE.UTF-8")) return "de_DE.UTF-8";
    unsetenv("LOCPATH");
    return "";
}

}  // namespace commalocale

// The name of a comma-decimal locale usable with setlocale and newlocale,
// or "" when the machine has none. Looked up once per process.
inline const std::string& commaDecimalLocale() {
    static const std::string found = commalocale::find();
    return found;
}

// Switches the whole process to the comma locale the way a program does at
// start-up (LC_ALL in the environment, then setlocale(LC_ALL, "")), and back
// to "C" at the end of the scope.
class ProcessLocaleScope {
public:
    explicit ProcessLocaleScope(const std::string& name) {
        const char* old = std::getenv("LC_ALL");
        hadLcAll_ = old != nullptr;
        if (old) oldLcAll_ = old;
        setenv("LC_ALL", name.c_str(), 1);
        active_ = std::setlocale(LC_ALL, "") != nullptr;
    }
    ~ProcessLocaleScope() {
        if (hadLcAll_) {
            setenv("LC_ALL", oldLcAll_.c_str(), 1);
        } else {
            unsetenv("LC_ALL");
        }
        std::setlocale(LC_ALL, "C");
    }
    ProcessLocaleScope(const ProcessLocaleScope&) = delete;
    ProcessLocaleScope& operator=(const ProcessLocaleScope&) = delete;
    bool active() const { return active_; }

private:
    bool hadLcAll_ = false;
    std::string oldLcAll_;
    bool active_ = false;
};
