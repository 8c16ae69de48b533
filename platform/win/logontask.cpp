// Asks the Task Scheduler (its COM interface, Windows Vista and later) for a task of the
// root folder. Reading needs no elevation, unlike registering.
#include "platform/logontask.h"

#include <taskschd.h>

#include "platform/winapi.h"

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
