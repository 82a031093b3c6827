// An in-memory registry for the host build. Keys form a tree per root; a key
// handle is a small heap record pointing at its node, so unclosed handles show
// up in openRegistryKeyCount() and in the leak checker.
#include <atomic>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host/host_system_control.h"
#include "platform/platform.h"

namespace asiochan::platform {

namespace {

struct Node {
    std::string name;
    std::vector<std::unique_ptr<Node>> children;  // in the order added
    std::vector<std::pair<std::string, std::string>> values;
};

struct Handle {
    Node* node;
};

std::mutex registryLock;
Node roots[2];
std::atomic<int> openKeys{0};
std::atomic<std::uint64_t> calls{0};

bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

Node& rootOf(RegistryRoot root) { return roots[root == RegistryRoot::LocalMachine ? 0 : 1]; }

Node* child(Node& parent, const std::string& name) {
    for (auto& c : parent.children)
        if (sameText(c->name, name)) return c.get();
    return nullptr;
}

std::vector<std::string> split(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

Node* find(Node& from, const std::string& path) {
    Node* n = &from;
    for (const auto& part : split(path)) {
        n = child(*n, part);
        if (n == nullptr) return nullptr;
    }
    return n;
}

Node& make(RegistryRoot root, const std::string& path) {
    Node* n = &rootOf(root);
    for (const auto& part : split(path)) {
        Node* c = child(*n, part);
        if (c == nullptr) {
            n->children.push_back(std::make_unique<Node>());
            c = n->children.back().get();
            c->name = part;
        }
        n = c;
    }
    return *n;
}

void setValue(Node& node, const std::string& name, const std::string& bytes) {
    for (auto& v : node.values) {
        if (sameText(v.first, name)) {
            v.second = bytes;
            return;
        }
    }
    node.values.emplace_back(name, bytes);
}

bool openBelow(Node& from, const char* path, RegistryKey* key) {
    if (path == nullptr || key == nullptr) return false;
    Node* n = find(from, path);
    if (n == nullptr) return false;
    *key = new Handle{n};
    ++openKeys;
    return true;
}

}  // namespace

bool openRootKey(RegistryRoot root, const char* path, RegistryKey* key) {
    std::lock_guard<std::mutex> guard(registryLock);
    ++calls;
    return openBelow(rootOf(root), path, key);
}

bool openSubKeyForReading(RegistryKey parent, const char* name, RegistryKey* key) {
    std::lock_guard<std::mutex> guard(registryLock);
    ++calls;
    if (parent == nullptr) return false;
    return openBelow(*static_cast<Handle*>(parent)->node, name, key);
}

bool enumSubKey(RegistryKey key, std::uint32_t index, char* name, std::uint32_t size) {
    std::lock_guard<std::mutex> guard(registryLock);
    ++calls;
    if (key == nullptr || name == nullptr) return false;
    Node* n = static_cast<Handle*>(key)->node;
    if (index >= n->children.size()) return false;
    const std::string& text = n->children[index]->name;
    if (text.size() + 1 > size) return false;  // RegEnumKeyA: ERROR_MORE_DATA
    std::memcpy(name, text.c_str(), text.size() + 1);
    return true;
}

bool queryValue(RegistryKey key, const char* valueName, char* data, std::uint32_t size) {
    std::lock_guard<std::mutex> guard(registryLock);
    ++calls;
    if (key == nullptr || data == nullptr || size == 0) return false;
    const std::string wanted = valueName ? valueName : "";
    for (const auto& v : static_cast<Handle*>(key)->node->values) {
        if (!sameText(v.first, wanted)) continue;
        const std::string& bytes = v.second;
        if (bytes.size() > size) return false;  // RegQueryValueExA: ERROR_MORE_DATA
        std::memcpy(data, bytes.data(), bytes.size());
        // A value stored without its terminator is terminated here when there is
        // room; one that fills the buffer without a terminator does not fit.
        if (bytes.size() < size) {
            data[bytes.size()] = '\0';
            return true;
        }
        return std::memchr(data, '\0', size) != nullptr;
    }
    return false;
}

void closeKey(RegistryKey key) {
    std::lock_guard<std::mutex> guard(registryLock);
    ++calls;
    if (key == nullptr) return;
    delete static_cast<Handle*>(key);
    --openKeys;
}

namespace host {

void clearRegistry() {
    std::lock_guard<std::mutex> guard(registryLock);
    for (auto& r : roots) {
        r.children.clear();
        r.values.clear();
    }
    calls = 0;
}

void addRegistryKey(RegistryRoot root, const std::string& path) {
    std::lock_guard<std::mutex> guard(registryLock);
    make(root, path);
}

void setRegistryText(RegistryRoot root, const std::string& path, const std::string& name, const std::string& text) {
    std::lock_guard<std::mutex> guard(registryLock);
    setValue(make(root, path), name, std::string(text.c_str(), text.size() + 1));
}

void setRegistryBytes(RegistryRoot root, const std::string& path, const std::string& name, const std::string& bytes) {
    std::lock_guard<std::mutex> guard(registryLock);
    setValue(make(root, path), name, bytes);
}

int openRegistryKeyCount() { return openKeys.load(); }

std::uint64_t registryCallCount() { return calls.load(); }

}  // namespace host
}  // namespace asiochan::platform
