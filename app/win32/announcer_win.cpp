#include "app/win32/announcer_win.h"

// The annotation service's GUIDs are defined here rather than taken from oleacc's import
// library: the program never imports oleacc.dll. COM loads it, from System32, only when the
// service is asked for.
#include <initguid.h>
#include <oleacc.h>

namespace qrv3::win {
namespace {

// UI Automation's LiveSetting property and its "polite" value, and the WinEvent that tells
// clients a live region changed (Windows 8 on; older systems ignore both).
DEFINE_GUID(kLiveSettingProperty, 0xc12bcd8e, 0x2a8e, 0x4950, 0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d,
            0x58, 0xeb);
constexpr LONG kPolite = 1;
constexpr DWORD kEventLiveRegionChanged = 0x8019;

}  // namespace

void Announcer::Release::operator()(IAccPropServices* p) const { p->Release(); }

Announcer::Announcer(HWND label) : label_(label) {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  com_ = SUCCEEDED(init);  // S_FALSE too: every success is balanced by CoUninitialize
  IAccPropServices* services = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
    return;
  }
  std::unique_ptr<IAccPropServices, Release> owned(services);
  VARIANT polite;
  VariantInit(&polite);
  polite.vt = VT_I4;
  polite.lVal = kPolite;
  if (SUCCEEDED(services->SetHwndProp(label_, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                      kLiveSettingProperty, polite))) {
    services_ = std::move(owned);
  }
}

Announcer::~Announcer() {
  if (services_) {
    MSAAPROPID props[] = {kLiveSettingProperty};
    services_->ClearHwndProps(label_, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, props, 1);
    services_.reset();
  }
  if (com_) CoUninitialize();
}

void Announcer::Announce() {
  NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, label_, OBJID_CLIENT, CHILDID_SELF);
  if (services_) NotifyWinEvent(kEventLiveRegionChanged, label_, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace qrv3::win
