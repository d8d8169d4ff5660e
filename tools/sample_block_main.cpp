// Writes a sample controller information block (newer layout, 1024 bytes) to a file.
#include <fstream>
#include <iostream>

#include "platform/sim/info_block.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tavrin-sample-block OUT\n";
        return 2;
    }
    const sim::InfoBlock block = sim::SampleInfoBlock();
    const auto& bytes = block.Bytes();
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "tavrin-sample-block: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
