// Tells screen readers when the status label's text changes: a name change on the label, and,
// where the system has UI Automation live regions (Windows 8 on), the label marked as a polite
// live region and its change raised as one.
#pragma once

#include <windows.h>

#include <memory>

struct IAccPropServices;

namespace qrv3::win {

class Announcer {
 public:
  // `label` must outlive the announcer.
  explicit Announcer(HWND label);
  ~Announcer();
  Announcer(const Announcer&) = delete;
  Announcer& operator=(const Announcer&) = delete;

  // The label's text has just changed.
  void Announce();

 private:
  struct Release {
    void operator()(IAccPropServices* p) const;
  };

  HWND label_;
  bool com_ = false;  // this object initialised COM on the thread
  std::unique_ptr<IAccPropServices, Release> services_;
};

}  // namespace qrv3::win
