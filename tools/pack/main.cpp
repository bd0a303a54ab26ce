// zelto-pack: builds a setup executable from a project folder.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "packer.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: zelto-pack [OPTIONS] -o OUT.exe [--] PROJECT_DIR\n"
    "\n"
    "Packs every file below PROJECT_DIR (setup.dat, the optional setup.lic and\n"
    "setup.bmp, and the application's files) into a copy of the setup runtime.\n"
    "Files in subfolders are named with backslashes, as the script names them\n"
    "(sub/tool.exe is the item sub\\tool.exe).\n"
    "\n"
    "  -o, --output FILE  the setup executable to write (also --output=FILE)\n"
    "  --stub FILE        the runtime to copy (default: zelto-setup.exe next to\n"
    "                     zelto-pack)\n"
    "  -1 ... -9          compression: -1 fastest, -9 smallest (the default)\n"
    "  --fast             the same as -1, for quick test builds\n"
    "  --strict           mistakes in the script are errors, not warnings\n"
    "  -j, --jobs N       compress at most N files at once (default: one per\n"
    "                     processor core)\n"
    "  -q, --quiet        no progress bar and no summary\n"
    "  -h, --help         this text\n"
    "  --version          the packer's version\n"
    "  --                 what follows is the project folder, even if it starts\n"
    "                     with a dash\n"
    "\n"
    "Messages name the file and line they are about, as compilers do:\n"
    "  project/setup.dat:12: warning: ...\n"
    "Exit status: 0 when the setup was written, 1 when packing failed, 2 for a\n"
    "mistake on the command line.\n";

struct CommandLine {
    fs::path project;
    fs::path output;
    fs::path stub;
    int level = pack::kStrongestLevel;
    bool strict = false;
    bool quiet = false;
    unsigned jobs = 0;
};

bool IsTerminal(FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

// The folder of the running packer, where the runtime is installed beside it.
fs::path OwnFolder(const fs::path& argument0) {
    std::error_code ec;
#ifdef _WIN32
    if (_wpgmptr) return fs::path(_wpgmptr).parent_path();
#else
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) return self.parent_path();
#endif
    return fs::absolute(argument0, ec).parent_path();
}

[[noreturn]] void UsageError(const std::string& text) {
    std::cerr << "zelto-pack: " << text << "\n" << "Try 'zelto-pack --help'.\n";
    std::exit(2);
}

unsigned ParseJobs(const std::string& count) {
    char* end = nullptr;
    const unsigned long jobs = std::strtoul(count.c_str(), &end, 10);
    if (count.empty() || *end || jobs == 0 || jobs > 1024) UsageError("--jobs needs a number from 1 to 1024");
    return static_cast<unsigned>(jobs);
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    bool optionsEnded = false;
    auto setProject = [&](const std::string& arg) {
        if (!line.project.empty()) UsageError("more than one project folder given");
        line.project = fs::u8path(arg);
    };
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            setProject(arg);
            continue;
        }
        // "--name=value", or "--name value" / "-n value".
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        const size_t equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        auto takeValue = [&]() {
            if (hasValue) return value;
            if (i + 1 >= args.size()) UsageError("option " + name + " needs a value");
            return args[++i];
        };
        auto noValue = [&]() {
            if (hasValue) UsageError("option " + name + " takes no value");
        };
        if (name == "--") {
            optionsEnded = true;
        } else if (name == "-h" || name == "--help") {
            noValue();
            std::cout << kUsage;
            std::exit(0);
        } else if (name == "--version") {
            noValue();
            std::cout << "zelto-pack " ZELTO_VERSION "\n";
            std::exit(0);
        } else if (name == "-o" || name == "--output") {
            line.output = fs::u8path(takeValue());
        } else if (name == "--stub") {
            line.stub = fs::u8path(takeValue());
        } else if (name == "-j" || name == "--jobs") {
            line.jobs = ParseJobs(takeValue());
        } else if (name.size() == 2 && name[1] >= '1' && name[1] <= '9') {
            line.level = name[1] - '0';
        } else if (name == "--fast") {
            noValue();
            line.level = pack::kFastestLevel;
        } else if (name == "--strict") {
            noValue();
            line.strict = true;
        } else if (name == "-q" || name == "--quiet") {
            noValue();
            line.quiet = true;
        } else {
            UsageError("unknown option " + arg);
        }
    }
    if (line.project.empty()) UsageError("no project folder given");
    if (line.output.empty()) UsageError("no output file given (-o OUT.exe)");
    if (line.stub.empty()) line.stub = OwnFolder(fs::u8path(args[0])) / "zelto-setup.exe";
    return line;
}

int Run(const std::vector<std::string>& args) {
    const CommandLine line = ParseCommandLine(args);
    pack::PackOptions options;
    options.project = line.project;
    options.output = line.output;
    options.stub = line.stub;
    options.quiet = line.quiet;
    options.jobs = line.jobs;
    options.level = line.level;
    options.strict = line.strict;
    options.showProgress = !line.quiet && IsTerminal(stderr) && IsTerminal(stdout);
    try {
        pack::PackProject(options, std::cerr, std::cout);
        return 0;
    } catch (const pack::PackError& e) {
        std::cerr << (e.Location().empty() ? "zelto-pack" : e.Location()) << ": error: " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << "zelto-pack: error: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "zelto-pack: error: " << e.what() << "\n";
    }
    return 1;
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so that folder names outside the ANSI code page survive.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(fs::path(argv[i]).u8string());
    return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv, argv + argc)); }
#endif
