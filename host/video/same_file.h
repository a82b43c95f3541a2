// Whether an output would land on the input: the same file under the same
// name, another spelling of it, a link to it, or standard input and output
// redirected to it. filterhost refuses such a run before it opens anything
// for writing, since writing the output would destroy the frames it is
// still to read.
#pragma once

#include <string>

// `inputPath` and `outputPath` as given on the command line: "-" for
// standard input or output, empty for none. True with a message when the
// two are one file; an output that does not exist yet is never the input.
bool OutputIsInput(const std::string& inputPath, const std::string& outputPath, std::string* error);

// True with a message when the run's output and its --before picture are
// one file: the same name in any spelling, or a link to the same file; the
// second would silently replace the first.
bool OutputsAreOneFile(const std::string& outputPath, const std::string& beforePath,
                       std::string* error);

// The path the system gives for `path`, with symbolic links and the case of
// every name as on the disk: of the file when it exists, otherwise of its
// folder followed by the name as given. `path` made absolute when not even
// its folder can be opened.
std::wstring ResolvedPath(const std::string& path);

// What an output's name stands for on the disk.
enum class OutputName {
    asGiven,    // no file of that name, or the file under that very name
    otherCase,  // a file whose name differs only in case, which Windows takes for it
    link,       // a symbolic link (to a file elsewhere, or under another name)
};

// `spelled` receives the name to write under: for `otherCase` the folder
// as given and the file's name as on the disk ("sub/out.y4m" for
// "sub/OUT.y4m"), otherwise `path`.
OutputName LookUpOutputName(const std::string& path, std::string* spelled);
