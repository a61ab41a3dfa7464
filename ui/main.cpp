// Delvorin: builds binary patch files for whole folder trees and applies them.
#include "platform/Interrupts.h"
#include "ui/CDelvorinApp.h"

#include <cstdlib>

// The program reads no command line and no environment, with one exception for the
// automated tests: DELVORIN_TEST_AUTO_CLOSE_SECONDS=N closes the main dialog after N
// seconds, as if the user pressed Exit, so a test can watch a whole start and stop.
class CDelvorinMain : public CDelvorinApp {
public:
    CDelvorinMain()
    {
        // Ended by SIGTERM, SIGHUP or Ctrl-C, the program leaves no work file of a build
        // and no private temporary folder behind.
        InstallExitHandler();
        if (const char* seconds = std::getenv("DELVORIN_TEST_AUTO_CLOSE_SECONDS"))
            SetAutoCloseSeconds(std::atoi(seconds));
    }
};

wxIMPLEMENT_APP(CDelvorinMain);
