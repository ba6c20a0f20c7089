#include "crashpoint.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

void crashPoint(const char* name) {
    static const char* const chosen = std::getenv("KESTO_CRASH_AT");
    if (chosen != nullptr && std::strcmp(chosen, name) == 0)
        ::kill(::getpid(), SIGKILL);
}
