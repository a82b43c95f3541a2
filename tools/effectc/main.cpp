// effectc INPUT.fx -o OUTPUT.fxo
//
// Compiles an effect file into a binary fx_2_0 effect. On any error nothing
// is written (a stale output is removed) and the exit status is 1, so a build
// can never embed a blob that does not match its source.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "compiler.h"

namespace {

int Usage()
{
    std::cerr << "usage: effectc INPUT.fx -o OUTPUT.fxo\n";
    return 1;
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string input;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && input.empty()) {
            input = arg;
        } else {
            return Usage();
        }
    }
    if (input.empty() || output.empty()) return Usage();

    std::ifstream inputFile(input, std::ios::binary);
    if (!inputFile) {
        std::cerr << input << ": error: cannot open file\n";
        return 1;
    }
    std::string source((std::istreambuf_iterator<char>(inputFile)),
                       std::istreambuf_iterator<char>());

    effectc::Diagnostics diags;
    std::vector<uint8_t> blob;
    if (!effectc::CompileEffect(source, BaseName(input), blob, diags)) {
        for (const effectc::Diagnostic& diagnostic : diags.errors)
            std::cerr << effectc::FormatDiagnostic(input, diagnostic) << "\n";
        std::remove(output.c_str());
        return 1;
    }

    // Write beside the target and rename, so an interrupted run leaves no
    // truncated blob behind.
    std::string temp = output + ".tmp";
    {
        std::ofstream outputFile(temp, std::ios::binary | std::ios::trunc);
        outputFile.write(reinterpret_cast<const char*>(blob.data()),
                         static_cast<std::streamsize>(blob.size()));
        if (!outputFile.flush()) {
            std::cerr << output << ": error: cannot write file\n";
            outputFile.close();
            std::remove(temp.c_str());
            return 1;
        }
    }
    if (std::rename(temp.c_str(), output.c_str()) != 0) {
        std::cerr << output << ": error: cannot write file\n";
        std::remove(temp.c_str());
        return 1;
    }
    return 0;
}
