// Asks the Task Scheduler (its COM interface, Windows Vista and later) for a task of the
// root folder; reading needs no elevation, unlike registering. Writes the definition
// that schtasks.exe registers.
#include "platform/logontask.h"

#include <cstdio>

#include "platform/winapi.h"

// After winapi.h: Winsock must come before the windows.h this header includes.
#include <taskschd.h>

namespace {

std::wstring Wide(const std::string &Text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, Text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, Text.c_str(), -1, &out[0], n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// Releases a COM interface when the scope ends.
template <class T>
struct ComRef {
  T *P = nullptr;
  ComRef() = default;
  ComRef(const ComRef &) = delete;
  ComRef &operator=(const ComRef &) = delete;
  ~ComRef() {
    if (P) P->Release();
  }
};

struct Bstr {
  BSTR S;
  explicit Bstr(const std::wstring &Text) : S(SysAllocString(Text.c_str())) {}
  Bstr(const Bstr &) = delete;
  Bstr &operator=(const Bstr &) = delete;
  ~Bstr() { SysFreeString(S); }
};

bool TaskExists(const std::string &Name) {
  ComRef<ITaskService> service;
  if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                              reinterpret_cast<void **>(&service.P))))
    return false;
  VARIANT none;
  VariantInit(&none);
  if (FAILED(service.P->Connect(none, none, none, none))) return false;
  ComRef<ITaskFolder> root;
  Bstr rootPath(L"\\");
  if (FAILED(service.P->GetFolder(rootPath.S, &root.P))) return false;
  ComRef<IRegisteredTask> task;
  Bstr taskName(Wide(Name));
  return SUCCEEDED(root.P->GetTask(taskName.S, &task.P)) && task.P;
}

}  // namespace

TLogonTaskState QueryLogonTask(const std::string &Name) {
  const int fake = testhooks::internal::FakeLogonTask();
  if (fake >= 0) return fake ? TLogonTaskState::Registered : TLogonTaskState::Absent;
  // The menu asks from the user-interface thread, which may have COM set up already.
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const bool exists = TaskExists(Name);
  if (SUCCEEDED(init)) CoUninitialize();
  return exists ? TLogonTaskState::Registered : TLogonTaskState::Absent;
}

std::string WriteTaskDefinition(const std::string &FileName, const std::string &Xml) {
  char dir[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathA(MAX_PATH, dir);
  if (n == 0 || n > MAX_PATH) return "";
  const std::wstring text = Wide(Xml);
  if (text.empty() && !Xml.empty()) return "";
  const std::string path = std::string(dir, n) + FileName;
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return "";
  const wchar_t bom = 0xFEFF;
  bool written = std::fwrite(&bom, sizeof bom, 1, f) == 1;
  written = written && std::fwrite(text.data(), sizeof(wchar_t), text.size(), f) == text.size();
  return std::fclose(f) == 0 && written ? path : "";
}
