// A very small test harness for the Windows test hosts (GoogleTest is not
// available for the cross build): named tests in groups, checks that report
// file and line, and a nonzero exit code when any check failed.
#pragma once

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace winecheck {

struct TestCase {
    const char* group;
    const char* name;
    void (*body)();
};

inline std::vector<TestCase>& registry() {
    static std::vector<TestCase> tests;
    return tests;
}

inline int& failures() {
    static int count = 0;
    return count;
}

struct Registrar {
    Registrar(const char* group, const char* name, void (*body)()) { registry().push_back({group, name, body}); }
};

inline void fail(const char* file, int line, const std::string& what) {
    ++failures();
    std::printf("%s:%d: FAILED %s\n", file, line, what.c_str());
    std::fflush(stdout);
}

// Runs the tests whose group equals `group` (all when null).
inline int runGroup(const char* group) {
    int ran = 0;
    for (const auto& t : registry()) {
        if (group && std::strcmp(group, t.group) != 0) continue;
        const int before = failures();
        std::printf("[ RUN  ] %s.%s\n", t.group, t.name);
        std::fflush(stdout);
        t.body();
        std::printf("[ %s ] %s.%s\n", failures() == before ? " OK " : "FAIL", t.group, t.name);
        std::fflush(stdout);
        ++ran;
    }
    if (ran == 0) {
        std::printf("no tests in group %s\n", group ? group : "(all)");
        return 2;
    }
    std::printf("%d test(s), %d failed check(s)\n", ran, failures());
    return failures() == 0 ? 0 : 1;
}

}  // namespace winecheck

#define WINE_TEST(group, name)                                                             \
    static void group##_##name();                                                          \
    static winecheck::Registrar group##_##name##_registrar(#group, #name, group##_##name); \
    static void group##_##name()

#define WCHECK(cond)                                                          \
    do {                                                                      \
        if (!(cond)) winecheck::fail(__FILE__, __LINE__, "CHECK(" #cond ")"); \
    } while (0)

#define WCHECK_EQ(a, b)                                                                                          \
    do {                                                                                                         \
        const auto va_ = (a);                                                                                    \
        const auto vb_ = (b);                                                                                    \
        if (!(va_ == vb_))                                                                                       \
            winecheck::fail(                                                                                     \
                __FILE__, __LINE__,                                                                              \
                std::string("CHECK_EQ(" #a ", " #b "): ") + std::to_string(va_) + " vs " + std::to_string(vb_)); \
    } while (0)
