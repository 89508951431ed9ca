// Writes the synthetic demo bank: make_demo OUT.s1v
#include <cstdio>
#include <exception>

#include "tests/support/VoiceFileBuilder.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUT.s1v\n");
        return 2;
    }
    try {
        DemoBank().Write(argv[1], VoiceFileBuilder::Kind::S1v);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_demo: %s\n", e.what());
        return 1;
    }
    return 0;
}
