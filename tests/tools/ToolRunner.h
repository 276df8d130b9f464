// Runs programs the way a user at a shell would: the real kestro binary (and
// sox), each in a fresh working folder of its own, with standard output,
// standard error and the exit code kept for the test to look at. Standard
// error is a file, never a terminal, so no progress bar or meter is drawn.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class ToolRunner {
public:
    struct Result {
        int exitCode = -1;
        std::string out;
        std::string err;
    };

    ToolRunner()
    {
        char pattern[] = "/tmp/kestro-tool-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        mFolder = made != nullptr ? made : "/tmp";
    }
    ~ToolRunner()
    {
        std::error_code ignored;
        std::filesystem::remove_all(mFolder, ignored);
    }
    ToolRunner(const ToolRunner&) = delete;
    ToolRunner& operator=(const ToolRunner&) = delete;

    // A path inside the working folder.
    std::string Path(const std::string& inName) const { return mFolder + "/" + inName; }

    // `kestro ARGS` (ARGS as shell words).
    Result Kestro(const std::string& inArguments) const { return Shell(std::string(KESTRO_TOOL_PATH) + " " + inArguments); }

    // Any shell command line, run in the working folder.
    Result Shell(const std::string& inCommand) const
    {
        std::string out = Path(".stdout");
        std::string err = Path(".stderr");
        std::string line = "cd '" + mFolder + "' && { " + inCommand + " ; } >'" + out + "' 2>'" + err + "' </dev/null";
        int status = std::system(line.c_str());
        Result result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = Slurp(out);
        result.err = Slurp(err);
        return result;
    }

    static std::string Slurp(const std::string& inPath)
    {
        std::ifstream file(inPath, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // The value after "inLabel:" in sox's `stat` output, or NAN.
    static double SoxStat(const std::string& inStatText, const std::string& inLabel)
    {
        size_t at = inStatText.find(inLabel);
        if (at == std::string::npos) {
            return NAN;
        }
        size_t colon = inStatText.find(':', at);
        return std::strtod(inStatText.c_str() + colon + 1, nullptr);
    }

private:
    std::string mFolder;
};
