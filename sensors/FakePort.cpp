#include "FakePort.h"

#include <stdexcept>

void FakePort::Open() {
    if (open_)
        return;
    ++opens;
    if (!present.empty() && !present.count(name_))
        return Report(TComException::Open, kErrorPortAbsent, "Unable to open com port");
    if (openFailure)
        return Report(TComException::Open, *openFailure, "Unable to open com port");
    queue_.clear();
    open_ = true;
    everOpened_ = true;
}

void FakePort::Close() {
    if (!open_)
        return;
    ++closes;
    open_ = false;
    queue_.clear();
}

int64_t FakePort::Write(const uint8_t* bytes, std::size_t count) {
    if (throwOnWrite)
        throw std::runtime_error("write failed");
    std::vector<uint8_t> frame(bytes, bytes + count);
    written.push_back(frame);
    if (onWrite)
        onWrite(frame);
    return static_cast<int64_t>(count);
}

std::vector<uint8_t> FakePort::Read(std::size_t max) {
    std::vector<uint8_t> out;
    while (out.size() < max && !queue_.empty()) {
        out.push_back(queue_.front());
        queue_.pop_front();
    }
    return out;
}

void FakePort::Abort() {
    ++aborts;
    if (abortFailure)
        Report(TComException::Abort, *abortFailure, "Abort failed");
}

void FakePort::Inject(const std::vector<uint8_t>& bytes) {
    if (!open_ || bytes.empty())
        return;
    queue_.insert(queue_.end(), bytes.begin(), bytes.end());
    if (onReceive)
        onReceive();
}

void FakePort::Fail(int64_t code, TComException kind) {
    Report(kind, code, "Port failure");
}

void FakePort::Report(TComException kind, int64_t code, const char* what) {
    if (onError)
        onError({kind, what, code, "code " + std::to_string(code)});
}
