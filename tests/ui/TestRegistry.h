// Qt Test runs one object at a time; the window's test classes register
// here and main runs the one named on the command line (or all of them).
#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>

using TTestFactory = std::function<std::unique_ptr<QObject>()>;

inline std::map<std::string, TTestFactory>& TestClasses() {
  static std::map<std::string, TTestFactory> classes;
  return classes;
}

template <typename T>
struct TRegisterTest {
  explicit TRegisterTest(const char* Name) {
    TestClasses()[Name] = [] { return std::make_unique<T>(); };
  }
};
