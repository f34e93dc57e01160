// The process the power-cut test kills: saves sequences FIRST, FIRST+1, ... into FOLDER with
// the recorder's own saver until COUNT saves were made, telling on standard output when each
// save begins and when it has ended, so that the test knows where its kill landed.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "PowerCutImage.h"
#include "sequence/SequenceSaver.h"

namespace {

// Straight to the pipe: a line held in a buffer would die with the process.
void tell(const std::string& line) {
    const std::string text = line + "\n";
    (void)!::write(STDOUT_FILENO, text.data(), text.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: PowerCutSaver FOLDER FIRST COUNT\n");
        return 64;
    }
    const std::string folder = argv[1];
    const int32_t first = std::atoi(argv[2]);
    const int32_t count = std::atoi(argv[3]);
    for (int32_t i = first; i < first + count; ++i) {
        const std::vector<uint8_t> image = powercut::imageOf(i);
        tell("begin " + std::to_string(i));
        std::string name;
        const int32_t result =
            SequenceSaver::writeImage(folder, image, powercut::startOf(i), &name);
        if (result != SequenceSaver::kOk) {
            tell("failed " + std::to_string(i) + " " + std::to_string(result));
            return 1;
        }
        tell("done " + std::to_string(i) + " " + name);
    }
    return 0;
}
