#include <cstdio>

// The windowless node grows here as the core's services arrive.
int main() {
    std::printf(
        "Corvaline %s: serverless LAN messenger (windowless node; services not built yet)\n",
        CORVALINE_VERSION);
    return 0;
}
