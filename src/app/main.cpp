// Entry of zntr.exe. The start-up sequence is being built; until then the
// program only reports that it has no window to show.
#include <cstdio>

int main() {
    std::fputs("zntr.exe: the main window is not built yet\n", stderr);
    return 1;
}
