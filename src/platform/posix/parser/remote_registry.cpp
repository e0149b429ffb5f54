#include "platform/posix/parser/remote_registry.h"

#include <cstring>

#include "platform/posix/base/error_line.h"
#include "platform/posix/parser/parser_protocol.h"

namespace {

// The child has gone: said once, and nothing more is asked of it.
bool Gone(const RemoteRegistry &remote)
{
    RefuseSandboxedServer(remote.server);
    if (!remote.said)
        PrintErrorLine(remote.root + ": " + ChildFailure(remote.server.ended, remote.what));
    remote.said = true;
    return false;
}

// One question, its answer in `reply` and `payload` (kServerReadLargest of
// room). False for a path too long to ask (no key Windows opens is), and once
// the child has gone, which is said the first time.
bool Ask(const RemoteRegistry &remote, std::uint32_t op, std::string_view path, std::string_view name,
         std::uint64_t offset, ServerReplyHeader &reply, void *payload)
{
    static ServerRequest request;
    std::size_t size = path.size() + 1 + name.size();
    if (size > sizeof request.text)
        return false;
    request.op = op;
    request.file = 0;
    request.offset = offset;
    request.size = kServerReadLargest;
    request.textSize = static_cast<std::uint32_t>(size);
    std::memcpy(request.text, path.data(), path.size());
    request.text[path.size()] = '\0';
    std::memcpy(request.text + path.size() + 1, name.data(), name.size());
    return AskSandboxedServer(remote.server, request, reply, payload) || Gone(remote);
}

unsigned char Payload[kServerReadLargest];

std::string Question(std::string_view path, std::string_view name)
{
    std::string question(path);
    question += '\0';
    return question.append(name);
}

// Once the child has gone the registry reads as empty, whatever it said before.
const RemoteRegistry::KeptAnswer *Kept(const RemoteRegistry &remote, std::uint32_t op, const std::string &question)
{
    for (std::size_t i = 0; i < remote.keptCount && !remote.said; ++i)
        if (remote.kept[i].op == op && remote.kept[i].question == question)
            return &remote.kept[i];
    return nullptr;
}

// An answer the child gave, unless it has gone since.
bool Keep(const RemoteRegistry &remote, std::uint32_t op, std::string question, bool found, DWORD type,
          const std::string &data)
{
    if (remote.keptCount < RemoteRegistry::kAnswersKept && !remote.said &&
        data.size() <= RemoteRegistry::kKeptValueLargest)
        remote.kept[remote.keptCount++] = RemoteRegistry::KeptAnswer{op, std::move(question), found, type, data};
    return found;
}

// The value, in parts where it does not fit one answer.
bool AskValue(const RemoteRegistry &remote, std::string_view path, std::string_view name, DWORD &type,
              std::string &data)
{
    data.clear();
    // A value larger than one answer comes in parts, each from where the
    // last ended; every part must move on and agree on the whole.
    for (;;) {
        ServerReplyHeader reply;
        if (!Ask(remote, kAskValue, path, name, data.size(), reply, Payload) || reply.error != 0)
            return false;
        ValueAnswer answer;
        if (reply.got < sizeof answer)
            return Gone(remote);
        std::memcpy(&answer, Payload, sizeof answer);
        std::size_t part = reply.got - sizeof answer;
        bool fits = answer.total <= kRemoteValueLargest && data.size() + part <= answer.total;
        bool moves = part > 0 || data.size() == answer.total;
        if (!fits || !moves || (!data.empty() && answer.type != type))
            return Gone(remote);
        type = answer.type;
        data.append(reinterpret_cast<const char *>(Payload) + sizeof answer, part);
        if (data.size() == answer.total) {
            EndStringAsAFunctionDoes(type, data); // whatever the child sent
            return true;
        }
    }
}

} // namespace

bool RemoteRegistry::KeyExists(std::string_view path) const
{
    std::string question = Question(path, "");
    if (const KeptAnswer *answer = Kept(*this, kAskKey, question))
        return answer->found;
    ServerReplyHeader reply;
    bool exists = Ask(*this, kAskKey, path, "", 0, reply, Payload) && reply.error == 0;
    return Keep(*this, kAskKey, std::move(question), exists, 0, std::string());
}

bool RemoteRegistry::KeyLastWrite(std::string_view path, std::uint64_t &filetime) const
{
    std::string question = Question(path, "");
    if (const KeptAnswer *answer = Kept(*this, kAskLastWrite, question)) {
        std::memcpy(&filetime, answer->data.data(), answer->found ? sizeof filetime : 0);
        return answer->found;
    }
    ServerReplyHeader reply;
    if (!Ask(*this, kAskLastWrite, path, "", 0, reply, Payload))
        return false;
    if (reply.error != 0)
        return Keep(*this, kAskLastWrite, std::move(question), false, 0, std::string());
    if (reply.got != sizeof filetime)
        return Gone(*this);
    std::memcpy(&filetime, Payload, sizeof filetime);
    std::string written(reinterpret_cast<const char *>(Payload), sizeof filetime);
    return Keep(*this, kAskLastWrite, std::move(question), true, 0, written);
}

bool RemoteRegistry::FindValue(std::string_view path, std::string_view name, DWORD &type, std::string &data) const
{
    std::string question = Question(path, name);
    if (const KeptAnswer *answer = Kept(*this, kAskValue, question)) {
        type = answer->found ? answer->type : type;
        data = answer->found ? answer->data : std::string();
        return answer->found;
    }
    if (!AskValue(*this, path, name, type, data))
        return Keep(*this, kAskValue, std::move(question), false, 0, std::string());
    return Keep(*this, kAskValue, std::move(question), true, type, data);
}
