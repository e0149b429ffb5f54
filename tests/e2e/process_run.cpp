#include "process_run.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char **environ;

ProcessResult RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &environment,
                         const std::string &errorPath, unsigned timeoutSeconds)
{
    std::vector<std::string> env;
    // An added variable replaces the inherited one of the same name.
    for (char **e = environ; *e != nullptr; ++e) {
        std::string inherited(*e);
        bool replaced = false;
        for (const std::string &added : environment)
            replaced = replaced || inherited.compare(0, inherited.find('=') + 1, added, 0, added.find('=') + 1) == 0;
        if (!replaced)
            env.push_back(inherited);
    }
    env.insert(env.end(), environment.begin(), environment.end());
    std::vector<char *> args, envp;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0)
        return {-1, ""};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        if (!errorPath.empty()) {
            int err = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0)
                dup2(err, STDERR_FILENO);
        }
        close(out[0]);
        close(out[1]);
        // An alarm outlives execve; its default action ends the program.
        signal(SIGALRM, SIG_DFL);
        alarm(timeoutSeconds);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    std::string output;
    char chunk[4096];
    ssize_t got;
    while ((got = read(out[0], chunk, sizeof chunk)) > 0)
        output.append(chunk, static_cast<std::size_t>(got));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ProcessResult result = {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
    result.timedOut = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
    return result;
}

namespace {

std::vector<std::string> MadeTempDirs;

// A test may have left a directory without write or search permission.
int OpenUp(const char *path, const struct stat *info, int kind, FTW *)
{
    if (kind == FTW_D || kind == FTW_DNR)
        chmod(path, (info->st_mode & 07777) | S_IRWXU);
    return 0;
}

// Everything the run made goes when it ends, failed or not; set
// DOROVIVI_KEEP_TEMP to look at it afterwards.
void RemoveTempDirs()
{
    if (std::getenv("DOROVIVI_KEEP_TEMP") != nullptr)
        return;
    for (const std::string &dir : MadeTempDirs) {
        nftw(dir.c_str(), OpenUp, 16, FTW_PHYS);
        RemoveTree(dir);
    }
}

} // namespace

std::string MakeTempDir(const char *prefix)
{
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        return "/nonexistent";
    if (MadeTempDirs.empty())
        std::atexit(RemoveTempDirs);
    MadeTempDirs.push_back(pattern);
    return pattern;
}

void RemoveTree(const std::string &path)
{
    nftw(path.c_str(), [](const char *entry, const struct stat *, int, struct FTW *) {
        remove(entry); // the rest goes even where one entry cannot
        return 0;
    }, 16,
         FTW_DEPTH | FTW_PHYS);
}

std::string ReadFile(const std::string &path)
{
    // Read directly: streams take seconds over the disk images.
    std::string content;
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return content;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        content.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[1 << 16];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0)
        content.append(chunk, static_cast<std::size_t>(got));
    close(fd);
    return content;
}

void WriteFile(const std::string &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadDescriptor(int fd)
{
    std::string bytes;
    char buffer[1 << 16];
    ssize_t got;
    for (off_t at = 0; (got = pread(fd, buffer, sizeof buffer, at)) > 0; at += got)
        bytes.append(buffer, static_cast<std::size_t>(got));
    return bytes;
}

std::string TracedStderrFault(const std::vector<std::string> &argv, std::vector<std::string> environment,
                              const std::string &plain)
{
    const char jq[] = "/usr/bin/jq";
    if (access(jq, X_OK) != 0)
        return "jq is missing (scripts/install-deps.sh installs it)";
    std::string dir = MakeTempDir("dorovivi-traced"), errors = dir + "/stderr", texts = dir + "/texts";
    // The run's own trace file, if it has one, gives way to standard error.
    environment.erase(std::remove_if(environment.begin(), environment.end(),
                                     [](const std::string &e) { return e.compare(0, 15, "DOROVIVI_TRACE=") == 0; }),
                      environment.end());
    environment.push_back("DOROVIVI_TRACE=-");
    RunProcess(argv, environment, errors, 120);
    std::string traced = ReadFile(errors);
    // jq fails on the first line that is not JSON, or not an event.
    ProcessResult read = RunProcess({jq, "-r", R"(if type == "object" and (.event | type) == "string" then
                                           (select(.event == "message") | .text) else error("not an event") end)",
                                     errors},
                                    {}, texts);
    std::string fault;
    if (read.exitCode != 0)
        fault = "jq: " + ReadFile(texts) + "in\n" + traced;
    else if (read.output != plain)
        fault = "the messages say\n" + read.output + "where stderr said\n" + plain;
    for (std::size_t at = 0, end; fault.empty() && at < traced.size(); at = end + 1) {
        end = traced.find('\n', at);
        if (end == std::string::npos || traced[at] != '{' || traced[end - 1] != '}')
            fault = "not one event a whole line in\n" + traced;
    }
    RemoveTree(dir);
    return fault;
}
