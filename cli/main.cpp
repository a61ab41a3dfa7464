// delvorin-cli: the publisher's command-line tool over the same engine as the
// graphical program.
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::puts("usage: delvorin-cli COMMAND ...");
        return 0;
    }
    std::fputs("delvorin-cli: no command given (see --help)\n", stderr);
    return 2;
}
