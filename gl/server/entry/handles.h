// The server's handle tables: the 32-bit numbers by which clients name the
// server's objects (context handles, segment ids). A handle is never 0, is
// not handed out again while its object lives, and names its object only
// for the process the object belongs to.
#pragma once

#include <map>
#include <mutex>
#include <vector>

#include "platform/kernel.h"

template <class T>
class HandleTable {
  public:
    // A new handle for `p`, owned by `hOwner`; 0 when every handle is in use.
    ULONG add(T* p, HANDLE hOwner) {
        std::lock_guard<std::mutex> g(lock_);
        for (ULONG cTried = 0; cTried < 0xFFFFFFFFu; ++cTried) {
            const ULONG h = next_++;
            if (next_ == 0) next_ = 1;
            if (h != 0 && entries_.emplace(h, Entry{p, hOwner}).second) return h;
        }
        return 0;
    }
    // The object of `h` when `hOwner` owns it, else null.
    T* find(ULONG h, HANDLE hOwner) {
        std::lock_guard<std::mutex> g(lock_);
        auto it = entries_.find(h);
        return it != entries_.end() && it->second.hOwner == hOwner ? it->second.p : nullptr;
    }
    // The handle of `p`, or 0.
    ULONG handle_of(const T* p) {
        std::lock_guard<std::mutex> g(lock_);
        for (const auto& [h, e] : entries_)
            if (e.p == p) return h;
        return 0;
    }
    // Forgets the handle of `p`; FALSE when it had none.
    bool remove(const T* p) {
        std::lock_guard<std::mutex> g(lock_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->second.p == p) {
                entries_.erase(it);
                return true;
            }
        }
        return false;
    }
    // Forgets every handle and answers their objects.
    std::vector<T*> take_all() {
        std::lock_guard<std::mutex> g(lock_);
        std::vector<T*> v;
        for (const auto& [h, e] : entries_) v.push_back(e.p);
        entries_.clear();
        return v;
    }

  private:
    struct Entry {
        T* p;
        HANDLE hOwner;
    };
    std::mutex lock_;
    std::map<ULONG, Entry> entries_;
    ULONG next_ = 1;
};
