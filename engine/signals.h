// Signals of GUI elements: a signal is the head of a singly linked list of callbacks, each called
// with the signal's arguments when the runtime emits it (a button's click, a slider's drag). The
// callbacks are made and connected by the actor library's screens; the element owns them and
// deletes them when it dies, which happens before the library that made them is unloaded.
#pragma once
#include "engine/log.h"

// A callback: the list link and one virtual invoke. The element deletes it through the virtual
// destructor, so a callback made by the library is freed by the library's code.
struct SignalCallback0 {
  SignalCallback0* next = nullptr;
  virtual ~SignalCallback0() {}
  virtual void invoke() = 0;
};
template <class A>
struct SignalCallback1 {
  SignalCallback1* next = nullptr;
  virtual ~SignalCallback1() {}
  virtual void invoke(A a) = 0;
};
template <class A, class B>
struct SignalCallback2 {
  SignalCallback2* next = nullptr;
  virtual ~SignalCallback2() {}
  virtual void invoke(A a, B b) = 0;
};

// The list head and its operations; Callback is one of the three bases above.
template <class Callback>
struct SignalList {
  Callback* head = nullptr;

  // Pushes at the front: the most recent listener hears the signal first.
  void connect(Callback* c) {
    ASSERT(!c->next);
    c->next = head;
    head = c;
  }
  template <class... A>
  void emit(A... args) {
    // A listener may not disconnect others while the signal runs: the next link is read first.
    for (Callback* c = head; c;) {
      Callback* next = c->next;
      c->invoke(args...);
      c = next;
    }
  }
  void destroy() {
    while (head) {
      Callback* c = head;
      head = c->next;
      delete c;
    }
  }
  bool empty() const { return head == nullptr; }
};

typedef SignalList<SignalCallback0> Signal0;
template <class A>
using Signal1 = SignalList<SignalCallback1<A>>;
template <class A, class B>
using Signal2 = SignalList<SignalCallback2<A, B>>;

// Callbacks that call a member function of a screen. The member functions are the screen's virtual
// handlers, so a screen whose code was reloaded calls the new code through its new vtable.
template <class Screen, class A>
struct MethodSignalCallback1 : SignalCallback1<A> {
  Screen* object;
  void (Screen::*method)(A);
  MethodSignalCallback1(Screen* o, void (Screen::*m)(A)) : object(o), method(m) {}
  void invoke(A a) override { (object->*method)(a); }
};
template <class Screen, class A, class B>
struct MethodSignalCallback2 : SignalCallback2<A, B> {
  Screen* object;
  void (Screen::*method)(A, B);
  MethodSignalCallback2(Screen* o, void (Screen::*m)(A, B)) : object(o), method(m) {}
  void invoke(A a, B b) override { (object->*method)(a, b); }
};
