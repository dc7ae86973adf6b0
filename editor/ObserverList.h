#pragma once
// Observers of a document, each held through a subscription that removes it when destroyed.
// Telling them runs over the observers present when it started: one added meanwhile is told
// from the next change on, and one removed meanwhile (even by an observer before it, even
// itself) is not called again. A subscription may outlive its list, and does nothing then.
#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

template <class... Args>
class TObserverList {
  struct TEntry {
    std::function<void(Args...)> Call;
    bool Live = true;
  };
  using TEntries = std::vector<std::shared_ptr<TEntry>>;

 public:
  class TSubscription {
   public:
    TSubscription() = default;
    TSubscription(TSubscription&& other) noexcept { *this = std::move(other); }
    TSubscription& operator=(TSubscription&& other) noexcept {
      if (this != &other) {
        Reset();
        FEntries = std::move(other.FEntries);
        FEntry = std::move(other.FEntry);
      }
      return *this;
    }
    TSubscription(const TSubscription&) = delete;
    TSubscription& operator=(const TSubscription&) = delete;
    ~TSubscription() { Reset(); }

    // Removes the observer now; it is not called again, not even by a notice being delivered.
    void Reset() {
      const std::shared_ptr<TEntry> entry = FEntry.lock();
      if (!entry) return;
      entry->Live = false;
      if (const std::shared_ptr<TEntries> entries = FEntries.lock())
        std::erase_if(*entries, [&entry](const std::shared_ptr<TEntry>& e) { return e == entry; });
      FEntries.reset();
      FEntry.reset();
    }

   private:
    friend class TObserverList;
    TSubscription(std::weak_ptr<TEntries> entries, std::weak_ptr<TEntry> entry)
        : FEntries(std::move(entries)), FEntry(std::move(entry)) {}
    std::weak_ptr<TEntries> FEntries;
    std::weak_ptr<TEntry> FEntry;
  };

  [[nodiscard]] TSubscription Add(std::function<void(Args...)> observer) {
    auto entry = std::make_shared<TEntry>(TEntry{std::move(observer)});
    FEntries->push_back(entry);
    return TSubscription(FEntries, entry);
  }

  void Notify(Args... args) const {
    // A copy: observers added or removed by an observer do not move the loop's ground.
    const TEntries present = *FEntries;
    for (const std::shared_ptr<TEntry>& entry : present)
      if (entry->Live) entry->Call(args...);
  }

  size_t Size() const { return FEntries->size(); }

 private:
  std::shared_ptr<TEntries> FEntries = std::make_shared<TEntries>();
};
