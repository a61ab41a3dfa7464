// Starts the real program under the display and watches its windows from outside: the
// splash comes first, the main dialog "Delvorin 1.2" about a second later, and the
// program ends cleanly, having saved its settings.
#include "support/TestFolder.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool, Status) that clash with its names.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The process that owns a window, from the _NET_WM_PID property the toolkit sets; 0
// when unknown.
long WindowPid(Display* display, Window window)
{
    static Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == 0)
        return 0;
    Atom type;
    int format;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = 0;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) == Success && data) {
        if (items == 1 && format == 32)
            pid = *reinterpret_cast<long*>(data);
        XFree(data);
    }
    return pid;
}

// True when a mapped top-level window of the process with exactly this name exists
// (other test programs may show windows of the same name at the same time).
bool WindowViewable(Display* display, Window window, const std::string& name, pid_t pid, int depth = 0)
{
    char* windowName = nullptr;
    bool found = false;
    if (XFetchName(display, window, &windowName) && windowName) {
        XWindowAttributes attributes;
        found = name == windowName && WindowPid(display, window) == pid &&
                XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
        XFree(windowName);
    }
    if (found || depth > 2)
        return found;
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i)
            found = WindowViewable(display, children[i], name, pid, depth + 1);
        if (children)
            XFree(children);
    }
    return found;
}

} // namespace

TEST(Program, ShowsTheSplashFirstAndTheMainDialogAboutASecondLater)
{
    const char* bin = std::getenv("DELVORIN_BIN");
    ASSERT_NE(bin, nullptr);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "no display";
    CTestFolder config;

    Clock::time_point start = Clock::now();
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
        setenv("DELVORIN_TEST_AUTO_CLOSE_SECONDS", "4", 1);
        std::string program = std::string(bin) + "/delvorin";
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }

    double splashAt = -1, mainAt = -1, splashGoneAt = -1;
    int status = 0;
    bool exited = false;
    while (std::chrono::duration<double>(Clock::now() - start).count() < 15) {
        double now = std::chrono::duration<double>(Clock::now() - start).count();
        bool splash = WindowViewable(display, DefaultRootWindow(display), "Delvorin", pid);
        bool main = WindowViewable(display, DefaultRootWindow(display), "Delvorin 1.2", pid);
        if (splash && splashAt < 0)
            splashAt = now;
        if (!splash && splashAt >= 0 && splashGoneAt < 0)
            splashGoneAt = now;
        if (main && mainAt < 0)
            mainAt = now;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    XCloseDisplay(display);

    ASSERT_TRUE(exited) << "the program did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_GE(splashAt, 0) << "no splash seen";
    ASSERT_GE(mainAt, 0) << "no main dialog seen";
    EXPECT_GT(mainAt - splashAt, 0.7) << "the main dialog came too early";
    EXPECT_LT(mainAt - splashAt, 2.5);
    ASSERT_GE(splashGoneAt, 0);
    EXPECT_GT(splashGoneAt - splashAt, 1.2);
    EXPECT_LT(splashGoneAt - splashAt, 3.0);
    // The shut-down saved the settings record.
    std::string profile = ReadFileText(config.Path() + "/Quenmark/delvorin.ini");
    EXPECT_NE(profile.find("BackupExt"), std::string::npos);
}
