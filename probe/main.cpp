// tavoprobe: the interactive test program of the Ovrin board. It takes no
// arguments and ends with exit code 0 on every path.
#include "os_console.h"
#include "probe.h"

int main() {
    ConsoleOpen();
    const int rc = ProbeMain();
    ConsoleClose();
    return rc;
}
