#pragma once

// The machinery behind every published object: reference counting, the owning thread, and one
// member table per class that drives both GetIDsOfNames and Invoke.

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "tamsel/price_rule.h"
#include "tamsel/publish.h"
#include "tamsel/variant.h"

namespace tamsel::publish {

// An owned reference to an object of the binary standard, ours or the caller's.
template <class I>
class RefPtr {
 public:
  RefPtr() = default;
  // Takes over a reference the caller already holds.
  static RefPtr Adopt(I* p) {
    RefPtr d;
    d.p_ = p;
    return d;
  }
  // Takes a reference of its own.
  static RefPtr Share(I* p) {
    if (p) p->lpVtbl->AddRef(p);
    return Adopt(p);
  }
  RefPtr(const RefPtr& o) : p_(o.p_) {
    if (p_) p_->lpVtbl->AddRef(p_);
  }
  RefPtr(RefPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  RefPtr& operator=(RefPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~RefPtr() {
    if (p_) p_->lpVtbl->Release(p_);
  }
  I* get() const { return p_; }
  I* release() { return std::exchange(p_, nullptr); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  I* p_ = nullptr;
};
using DispatchPtr = RefPtr<IDispatch>;
using UnknownPtr = RefPtr<IUnknown>;  // only as a result: a collection's enumerator

// What a parameter, a property or a result holds once converted from its VARIANT.
using Arg = std::variant<std::monostate, std::string, int32_t, int16_t, double, bool, Date, Variant,
                         std::shared_ptr<PriceRule>, std::shared_ptr<PriceRuleItem>, DispatchPtr,
                         UnknownPtr>;

// The type a parameter or property takes; the order follows Arg's alternatives.
enum class Type : uint8_t {
  None,
  Text,
  Long,
  Short,
  Double,
  Bool,
  Date,
  Value,  // any value: Empty, Null, number, text, date, Boolean
  Rule,
  Item,
  Object,  // any dispatch object, or none
};

constexpr uint8_t kOptional = 1;  // absent: its default
constexpr uint8_t kInOut = 2;     // written back through a VT_BYREF argument

struct Param {
  const char* name;
  Type type;
  uint8_t flags = 0;
  int32_t number_default = 0;  // absent number; absent texts are "", absent objects none
};

class DispatchObject;
using Getter = Arg (*)(DispatchObject& self, std::vector<Arg>& args);
using Putter = void (*)(DispatchObject& self, Arg& value);

struct Member {
  const char* name;
  DISPID id;
  std::vector<Param> params;  // of the method, or of a property get ("Fields(name)")
  Getter get;                 // the method, or the property get
  Type put_type = Type::None;
  Putter put = nullptr;
  // A property answers a plain DISPATCH_PROPERTYGET; a method answers only DISPATCH_METHOD, so
  // that a client without type information can tell a property's value from a method to call.
  bool property = false;
};

struct ClassInfo {
  const char* name;
  const IID* iid;  // the class's own dispatch interface, or null
  std::vector<Member> members;
};

// Objects alive and server locks, for DllCanUnloadNow.
extern std::atomic<long> g_live_objects;
extern std::atomic<long> g_server_locks;

class DispatchObject {
 public:
  explicit DispatchObject(const ClassInfo& info);
  virtual ~DispatchObject();
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  // Ours when it answers through our table; null for anyone else's object.
  static DispatchObject* From(IDispatch* p);
  // The interface pointer, with a reference for the caller.
  IDispatch* Ref();
  const ClassInfo& info() const { return info_; }

  HRESULT QueryInterface(REFIID riid, void** out);
  ULONG AddRef();
  ULONG Release();
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids);
  HRESULT Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                 UINT* arg_err);
  bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }

  // One dispatch object per component object while any is alive, so that a caller comparing
  // references (a tier's objRule and the rule it came from) sees one object. Find gives the
  // live one with a new reference, or null; Publish enters a new one.
  static IDispatch* Find(const ClassInfo& info, const void* target);
  void Publish(const void* target);

 private:
  struct Face : IDispatch {
    DispatchObject* self;
  };
  Face face_;
  std::atomic<ULONG> refs_{0};  // Ref() gives the first
  std::thread::id owner_;
  const ClassInfo& info_;
  const void* published_ = nullptr;
};

// One published object over a component object.
template <class T>
class Wrapper final : public DispatchObject {
 public:
  Wrapper(std::shared_ptr<T> target, const ClassInfo& info)
      : DispatchObject(info), target_(std::move(target)) {}
  const std::shared_ptr<T>& target() const { return target_; }

 private:
  std::shared_ptr<T> target_;
};

template <class T>
const ClassInfo& InfoOf();

// A new dispatch object over target, or none for a null target.
template <class T>
DispatchPtr Wrap(std::shared_ptr<T> target) {
  if (!target) return {};
  if (IDispatch* known = DispatchObject::Find(InfoOf<T>(), target.get())) {
    return DispatchPtr::Adopt(known);
  }
  auto* object = new Wrapper<T>(target, InfoOf<T>());
  object->Publish(target.get());
  return DispatchPtr::Adopt(object->Ref());
}

template <class T>
T& Target(DispatchObject& self) {
  return *static_cast<Wrapper<T>&>(self).target();
}

// The component object behind a dispatch object of class T, or null when p is another kind.
template <class T>
std::shared_ptr<T> Unwrap(IDispatch* p) {
  DispatchObject* o = DispatchObject::From(p);
  if (!o || &o->info() != &InfoOf<T>()) return nullptr;
  return static_cast<Wrapper<T>*>(o)->target();
}

// Fills excep (when given) from the exception being handled, and the thread's error information
// for interface iid; the result for Invoke.
HRESULT ReportException(EXCEPINFO* excep, const IID* iid);

// The message key of the last failure ReportException reported on this thread: empty unless it
// was one of the component's own messages. EXCEPINFO has no place for it, and a caller that tells
// a stale save from a refused rule must not have to read the localized text.
const std::string& LastErrorKey();

}  // namespace tamsel::publish
