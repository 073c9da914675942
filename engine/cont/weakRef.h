// Weak references: a target keeps a circular ring of the references that point at it and clears
// them all when it is destroyed, so holders see a null target afterwards.
#pragma once
#include <stddef.h>
#include "engine/log.h"

#define WEAKREF_FILE "cont/weakRef"

struct WeakRefTarget;

struct WeakRefBase {
  WeakRefTarget* target = nullptr;
  WeakRefBase* prev = nullptr;
  WeakRefBase* next = nullptr;
};

struct WeakRefTarget {
  WeakRefBase* weak_head = nullptr;

  WeakRefTarget() = default;
  WeakRefTarget(const WeakRefTarget&) : weak_head(nullptr) {}
  WeakRefTarget& operator=(const WeakRefTarget&) { return *this; }
  ~WeakRefTarget() { clearWeakRefs(); }

  // Puts ref at the head of the ring; returns the previous head (null when the ring was empty).
  WeakRefBase* attachWeakRef(WeakRefBase* ref) {
    ASSERT_AT(WEAKREF_FILE, 120, ref->target==this);
    ASSERT_AT(WEAKREF_FILE, 121, ref->prev==NULL);
    ASSERT_AT(WEAKREF_FILE, 122, ref->next==NULL);
    WeakRefBase* old = weak_head;
    if (!old) {
      ref->prev = ref->next = ref;
    } else {
      ref->next = old;
      ref->prev = old->prev;
      old->prev->next = ref;
      old->prev = ref;
    }
    weak_head = ref;
    return old;
  }

  void detachWeakRef(WeakRefBase* ref) {
    if (ref->next == ref) {
      if (weak_head == ref) weak_head = nullptr;
    } else {
      ref->prev->next = ref->next;
      ref->next->prev = ref->prev;
      if (weak_head == ref) weak_head = ref->next;
    }
    ref->target = nullptr;
    ref->prev = ref->next = nullptr;
  }

  void clearWeakRefs() {
    WeakRefBase* r = weak_head;
    if (!r) return;
    do {
      WeakRefBase* n = r->next;
      r->target = nullptr;
      r->prev = r->next = nullptr;
      r = n;
    } while (r && r != weak_head);
    weak_head = nullptr;
  }
};

// A typed weak reference; attaches on set, detaches on reset and destruction.
template <class T>
struct WeakRef : WeakRefBase {
  WeakRef() = default;
  explicit WeakRef(T* t) { set(t); }
  WeakRef(const WeakRef& o) { set(o.get()); }
  WeakRef& operator=(const WeakRef& o) {
    set(o.get());
    return *this;
  }
  ~WeakRef() { reset(); }

  T* get() const { return static_cast<T*>(target); }
  T* operator->() const { return get(); }
  explicit operator bool() const { return target != nullptr; }

  void set(T* t) {
    if (t == get()) return;
    reset();
    if (t) {
      target = t;
      t->attachWeakRef(this);
    }
  }
  void reset() {
    if (target) target->detachWeakRef(this);
  }
};
