#include "gui/SLHtmlHelp.h"

#include <new>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"

SL_IMPLEMENT_CLASS(CSL_WND_BaseHelpSystem, CSLObject)
SL_IMPLEMENT_CLASS(CSL_WND_HtmlHelp, CSL_WND_BaseHelpSystem)

CSL_WND_HtmlHelp g_htmlHelp;

namespace SLInternals {

CSL_WND_HtmlHelpInternal* CSL_WND_HtmlHelpInternal::s_instance = nullptr;

CSL_WND_HtmlHelpInternal* CSL_WND_HtmlHelpInternal::GetInstance() {
  return SLGetSingleton(s_instance, SL_OOD_PRIORITY_HELP_LOADER);
}

bool CSL_WND_HtmlHelpInternal::Initialize() {
  m_library = SLLoadLibrary(u"hhctrl.ocx");
  if (m_library && !SLBindProc(m_library, u"HtmlHelpA", &m_htmlHelpA)) {
    SLFreeLibrary(m_library);
    m_library = nullptr;
  }
  return SLSucceed(true);
}

CSL_WND_HtmlHelpInternal::~CSL_WND_HtmlHelpInternal() {
  SLErrorKeeper keep;
  if (m_htmlHelpA) m_htmlHelpA(nullptr, nullptr, SL_HH_CLOSE_ALL, 0);
  if (m_library) SLFreeLibrary(m_library);
  s_instance = nullptr;
}

}  // namespace SLInternals

CSL_WND_HtmlHelp::~CSL_WND_HtmlHelp() {
  SLErrorKeeper keep;
  delete m_data;
}

bool CSL_WND_HtmlHelp::EnsureData() {
  if (m_data) return true;
  m_data = new (std::nothrow) SLInternals::SLHtmlHelpData();
  if (!m_data) return SLFail(SL_E_OUT_OF_MEMORY, false);
  m_data->api = SLInternals::CSL_WND_HtmlHelpInternal::GetInstance();
  if (!m_data->api || !m_data->api->GetEntry()) {
    delete m_data;
    m_data = nullptr;
    return SLFail(SL_E_NOT_SUPPORTED, false);
  }
  return true;
}

// Closing is no request of an owner, so the control is asked without one.
void CSL_WND_HtmlHelp::CloseAllWindows() {
  HWND owner = m_data->owner;
  m_data->owner = nullptr;
  m_data->api->GetEntry()(nullptr, nullptr, SL_HH_CLOSE_ALL, 0);
  m_data->owner = owner;
}

bool CSL_WND_HtmlHelp::SetHelpFile(const char* name) {
  if (!EnsureData()) return false;
  const bool kept = name && *name ? m_data->file.Assign(name) : m_data->file.Empty();
  if (!kept) return false;
  CloseAllWindows();
  return SLSucceed(true);
}

bool CSL_WND_HtmlHelp::SetOwnerWindow(HWND window) {
  if (!EnsureData()) return false;
  CloseAllWindows();
  m_data->owner = window;
  return SLSucceed(true);
}

bool CSL_WND_HtmlHelp::ShowTopic(const char* topic) {
  if (!EnsureData()) return false;
  if (!m_data->owner || m_data->file.IsEmpty()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!topic || !*topic) return SLFail(SL_E_INVALID_ARG, false);
  CSLStringAnsi& text = m_data->topic;
  if (!text.Assign(m_data->file.CStr()) || !text.Append("::") || !text.Append(topic)) return false;
  if (!m_data->window.IsEmpty() && (!text.Append(">") || !text.Append(m_data->window.CStr()))) return false;
  HWND shown = m_data->api->GetEntry()(m_data->owner, text.CStr(), SL_HH_DISPLAY_TOPIC, 0);
  return shown ? SLSucceed(true) : SLFail(SL_E_OPERATION_FAILED, false);
}

const char* CSL_WND_HtmlHelp::GetLastTopicString() {
  return SLSucceed(m_data ? m_data->topic.CStr() : "");
}
