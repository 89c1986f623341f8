// The feed's pipe: each client's request asked of the feed, and answered.
#include "command_pipe.h"

#include <sddl.h>

#include "shared_constants.h"
#include "system_text.h"

// Local users, the system and administrators may write to it: a feed run as
// a service hears the pulley-remote of whoever is logged on.
static const wchar_t PipeAccess[] = L"D:(A;;GRGW;;;AU)(A;;GA;;;SY)(A;;GA;;;BA)";

HANDLE CommandPipe::NewInstance(bool first)
{
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, FALSE};
    ConvertStringSecurityDescriptorToSecurityDescriptorW(PipeAccess, SDDL_REVISION_1, &security.lpSecurityDescriptor,
                                                         nullptr);
    HANDLE pipe = CreateNamedPipeW(Utf16(PULLEY_FEED_PIPE).c_str(),
                                   PIPE_ACCESS_DUPLEX | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                   1, PULLEY_FEED_PIPE_BYTES, PULLEY_FEED_PIPE_BYTES, 0, &security);
    LocalFree(security.lpSecurityDescriptor);
    return pipe;
}

bool CommandPipe::Open(Ask ask, std::string& reason)
{
    ask_ = std::move(ask);
    pipe_ = NewInstance(true);
    if (pipe_ == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        reason = error == ERROR_ACCESS_DENIED ? "another pulley-feed serves pulley-remote already"
                                              : SystemMessage(error);
        return false;
    }
    thread_ = std::thread([this] { Serve(); });
    return true;
}

FeedCommand CommandOfRequest(const std::string& request)
{
    FeedCommand command{{}, "pulley-remote"};
    for (size_t start = 0;;) {
        size_t tab = request.find('\t', start);
        command.words.push_back(request.substr(start, tab - start));
        if (tab == std::string::npos)
            return command;
        start = tab + 1;
    }
}

std::string ReplyOf(const CommandAnswer& answer)
{
    return (answer.done ? "ok\t" : "refused\t") + answer.text;
}

void CommandPipe::Serve()
{
    while (!stopping_) {
        if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
            Sleep(100);
            continue;
        }
        char request[PULLEY_FEED_PIPE_BYTES];
        DWORD read = 0, written = 0;
        if (!stopping_ && ReadFile(pipe_, request, sizeof request, &read, nullptr)) {
            std::string reply = ReplyOf(ask_(CommandOfRequest(std::string(request, read))));
            WriteFile(pipe_, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
            FlushFileBuffers(pipe_);
        } else if (!stopping_) {  // a request longer than a pipe message holds
            const char refusal[] = "refused\ta request is at most 4096 bytes";
            WriteFile(pipe_, refusal, sizeof refusal - 1, &written, nullptr);
        }
        DisconnectNamedPipe(pipe_);
    }
}

void CommandPipe::Close()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    // The thread waits for a client: one comes, and finds it stopping.
    HANDLE wake = CreateFileW(Utf16(PULLEY_FEED_PIPE).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (wake != INVALID_HANDLE_VALUE)
        CloseHandle(wake);
    thread_.join();
    CloseHandle(pipe_);
    pipe_ = INVALID_HANDLE_VALUE;
}
