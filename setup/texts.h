// Every text the setup shows outside its dialog templates (.rc), in one place.
#pragma once
#include "common/container.h"

// Start-up, and the wizard's window caption.
inline constexpr char kTextLoadFailed[] = "初始化数据失败!";
// A package whose bytes are not what its checksums say: nothing is installed.
inline constexpr char kTextPackageDamaged[] = "安装文件已损坏，请重新下载。";
inline constexpr char kTextSheetCaption[] = "setup";
// Captions of the sheet's Next button.
inline constexpr char kTextNext[] = "下一步";
inline constexpr char kTextInstall[] = "安装";
// The answers of a page's Cancel and the pages' questions.
inline constexpr char kTextContinue[] = "继续安装";
inline constexpr char kTextQuit[] = "退出安装";
inline constexpr char kTextQuitNotStarted[] = "安装程序尚未进行,您真得要取消安装吗?";
inline constexpr char kTextQuitStarting[] = "安装即将开始,您真得要取消安装吗?";
inline constexpr char kTextQuitRunning[] = "安装程序正在进行,您真得要取消安装吗?";
inline constexpr char kTextQuitFinishing[] = "安装即将完成,您真得要取消安装吗?";
// The destination folder page: the browse box's title, the refusals.
inline constexpr char kTextBrowseTitle[] = "请选择安装目录";
inline constexpr char kTextBadDrive[] = "无效的驱动器";
inline constexpr char kTextBadFolder[] = "无效的文件夹";
inline constexpr char kTextFloppy[] = "软盘驱动器";
inline constexpr char kTextNetwork[] = "网络驱动器";
// The copy page.
inline constexpr char kTextGettingFileInfo[] = "正在获取文件信息...";
inline constexpr char kTextVerifying[] = "正在校验安装文件...";
inline constexpr char kTextCopyingTo[] = "正在拷贝至 %s ";  // the shortened target path
inline constexpr char kTextOverwriteQuestion[] = "文件 %s 已存在,要覆盖吗?";
inline constexpr char kTextOverwrite[] = "覆盖";
inline constexpr char kTextKeep[] = "取消";
inline constexpr char kTextEstimateUnknown[] = "估计剩余时间...";
inline constexpr char kTextEstimateSeconds[] = "估计剩余时间%d秒.";
inline constexpr char kTextEstimateMinutes[] = "估计剩余时间%d分%d秒.";
inline constexpr char kTextEstimateHours[] = "估计剩余时间%d小时%d分%d秒.";
inline constexpr char kTextEstimateDone[] = "估计剩余时间0秒.";
#define UNINSTALLER_FAILED_TEXT "创建 " UNINSTALLER_NAME " 失败!"
inline constexpr char kTextCreatingAssociations[] = "正在创建文件类型关联...";
inline constexpr char kTextFilesNotInstalled[] = "以下文件未能安装:";  // then one path a line
inline constexpr char kTextInstallComplete[] = "安装完成";
// The finish run: a log that could not be created, or not written to the end.
inline constexpr char kTextLogCreateFailed[] = "创建 setup.log 文件失败!";
inline constexpr char kTextLogWriteFailed[] = "写入 setup.log 文件失败!";
