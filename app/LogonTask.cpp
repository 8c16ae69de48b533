// The logon task's definition and its schtasks.exe commands.
#include "app/LogonTask.h"

namespace {

std::string XmlEscaped(const std::string &Text) {
  std::string out;
  for (char c : Text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;  // CP932 trail bytes are never one of the above
    }
  }
  return out;
}

}  // namespace

std::string LogonTaskName(const std::string &User) { return "Horolan (" + User + ")"; }

std::string LogonTaskDefinition(const std::string &User, const std::string &Exe) {
  const std::string user = XmlEscaped(User);
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
         "  <RegistrationInfo><Description>Horolan</Description></RegistrationInfo>\r\n"
         "  <Triggers><LogonTrigger><Enabled>true</Enabled><UserId>" +
         user +
         "</UserId></LogonTrigger></Triggers>\r\n"
         "  <Principals><Principal id=\"Author\"><UserId>" +
         user +
         "</UserId><LogonType>InteractiveToken</LogonType>"
         "<RunLevel>HighestAvailable</RunLevel></Principal></Principals>\r\n"
         "  <Settings>\r\n"
         "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n"
         "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
         "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
         "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\r\n"
         "    <Enabled>true</Enabled>\r\n"
         "  </Settings>\r\n"
         "  <Actions Context=\"Author\"><Exec><Command>\"" +
         XmlEscaped(Exe) +
         "\"</Command></Exec></Actions>\r\n"
         "</Task>\r\n";
}

std::string LogonTaskParameters(bool Register, const std::string &TaskName,
                                const std::string &DefinitionFile) {
  const std::string name = "/TN \"" + TaskName + "\"";
  if (!Register) return "/Delete " + name + " /F";
  return "/Create " + name + " /XML \"" + DefinitionFile + "\" /F";
}
