// Every location that the error report can name, in one table.
#pragma once

#include "report/error_report.h"

namespace mv::report::locations {

inline constexpr Location kFormLoad{"Tessaline", "Form1", "Form_Load"};
inline constexpr Location kPushButton1Click{"Tessaline", "Form1", "PushButton1_Click"};
inline constexpr Location kPushButton4Click{"Tessaline", "Form1", "PushButton4_Click"};
inline constexpr Location kPushButton5Click{"Tessaline", "Form1", "PushButton5_Click"};
inline constexpr Location kPushButton7Click{"Tessaline", "Form1", "PushButton7_Click"};
inline constexpr Location kPushButton8Click{"Tessaline", "Form1", "PushButton8_Click"};
inline constexpr Location kPushButton9Click{"Tessaline", "Form1", "PushButton9_Click"};
inline constexpr Location kReadFileToStringFSO{"Tessaline", "Main", "ReadFileToStringFSO"};
inline constexpr Location kCheckFirsrStringFSO{"Tessaline", "Main", "CheckFirsrStringFSO"};
inline constexpr Location kSetMainXMLTag{"Tessaline", "Main", "SetMainXMLTag"};
inline constexpr Location kReplaceXML{"Tessaline", "Main", "ReplaceXML"};
inline constexpr Location kStringToJSON{"Tessaline", "JSON", "StringToJSON"};
inline constexpr Location kGetSubDirectories2016{"Corvane", "AddFolder", "GetSubDirectories2016"};

}  // namespace mv::report::locations
