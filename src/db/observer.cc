#include <algorithm>
#include <functional>
#include <string_view>
#include <vector>

#include "db/driver.h"
#include "tamsel/services.h"

namespace tamsel {

namespace {

using ObserverFn = std::function<void(std::string_view)>;

// Observers belong to the thread that made them, so statements of other threads never reach
// them and no lock is needed.
std::vector<ObserverFn*>& ThreadObservers() {
  thread_local std::vector<ObserverFn*> observers;
  return observers;
}

}  // namespace

ScopedStatementObserver::ScopedStatementObserver(std::function<void(std::string_view)> observer)
    : observer_(std::move(observer)) {
  ThreadObservers().push_back(&observer_);
}

ScopedStatementObserver::~ScopedStatementObserver() {
  auto& observers = ThreadObservers();
  auto it = std::find(observers.begin(), observers.end(), &observer_);
  if (it != observers.end()) observers.erase(it);
}

namespace detail {

void NotifyStatementObservers(std::string_view sql) {
  auto& observers = ThreadObservers();
  if (observers.empty()) return;
  // A copy, so an observer may start or end observers while being told.
  const std::vector<ObserverFn*> current = observers;
  for (ObserverFn* observer : current) {
    if (std::find(observers.begin(), observers.end(), observer) == observers.end()) continue;
    if (*observer) (*observer)(sql);
  }
}

}  // namespace detail

}  // namespace tamsel
