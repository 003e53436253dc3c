// The product's file names, the only place where they are spelled out. Lists for CDllList are list
// texts (listsyntax.h); the names of the writable-files table are NUL-terminated names closed by an
// empty one.
#include "kvisinst/cleanup/productfiles.h"

// The host process and the libraries it loads from the system directory; the matcher is removed
// without being unregistered (it never registered anything).
const char kCleanUpListA[] = "KvBio32.dll KvCapture.dll QpLogon.dll ~KvMatch32.dll KVHOST.exe";

// The libraries, controls and type library that Quillex Pro and Tesmir editions before 1.0.003 put in
// the system directory.
const char kCleanUpListB[] =
    "KvBioApi.dll KvBsp32.dll KvCapt32.dll KvDevice.dll KvEnroll.dll KvFeat32.dll KvImage.dll "
    "KvMatch.dll KvMinut32.dll KvPolicy.dll KvQual32.dll KvScan32.dll KvStore.dll KvTmpl32.dll "
    "KvUsb32.dll KvUtil32.dll KvVerify.dll QpAdmin.dll QpAgent.dll QpAudit.dll QpCred.dll "
    "QpGina.dll QpNpDll.dll QpPwdSync.dll QpRes.dll QpSso.dll QpTray.dll QpUi32.dll "
    "QpEnroll.ocx QpVerify.ocx QuillexPro.tlb";

// Quillex Pro 1.0.002's files in its installation directory: the viewer control registered itself;
// the libraries never did and are only removed.
const char kCleanUpListC[] =
    "QpViewer.ocx ~QpCore.dll ~QpDb.dll ~QpEngine.dll ~QpExport.dll ~QpHelp.dll ~QpImport.dll "
    "~QpLang.dll ~QpLicense.dll ~QpLog.dll ~QpNet.dll ~QpPlugin.dll ~QpPrint.dll ~QpReport.dll "
    "~QpSched.dll ~QpSetup.dll ~QpSkin.dll ~QpSync.dll";

const char kLogonListNt[] = "-KVPwdFlt.dll -KVMsg.dll";
const char kLogonList9x[] = "-KVMsg.dll";
const char kGinaLibraryName[] = "KVGINA.DLL";

// Quillex Private Space: its vault program, its tray agent and its shell extension.
const char kPrivateSpaceList[] = "KvPSpace.exe KvPSAgent.exe KvPSShell.dll ";
const char kPrivateSpaceAuthLibrary[] = "kvauthsv.dll";

namespace {

const char kProductDirNames[] =
    "QuillexPro.exe\0QpConsole.exe\0QpEnrollWiz.exe\0QpViewer.ocx\0QpCore.dll\0QpDb.dll\0"
    "QpEngine.dll\0QpExport.dll\0QpHelp.dll\0QpImport.dll\0QpLang.dll\0QpLicense.dll\0"
    "QpLog.dll\0QpNet.dll\0QpPlugin.dll\0QpPrint.dll\0QpReport.dll\0QpSched.dll\0QpSetup.dll\0"
    "QpSkin.dll\0QpSync.dll\0QpCore.tlb\0QuillexPro.hlp\0QuillexPro.cnt\0QpReadme.txt\0"
    "QpLicense.rtf\0QpDefault.qpt\0QpSounds.dat\0QpUninst.exe\0QpUninst.isu\0QpSetup.ini\0"
    "QpTray.exe\0QpAgent.exe\0";

const char kSystemDirNames[] =
    "KvBio32.dll\0KvCapture.dll\0QpLogon.dll\0KvMatch32.dll\0KVHOST.exe\0KvBioApi.dll\0"
    "KvBsp32.dll\0KvCapt32.dll\0KvDevice.dll\0KvEnroll.dll\0KvFeat32.dll\0KvImage.dll\0"
    "KvMatch.dll\0KvMinut32.dll\0KvPolicy.dll\0KvQual32.dll\0KvScan32.dll\0KvStore.dll\0"
    "KvTmpl32.dll\0KvUsb32.dll\0KvUtil32.dll\0KvVerify.dll\0QpAdmin.dll\0QpAgent.dll\0"
    "QpAudit.dll\0QpCred.dll\0QpGina.dll\0QpNpDll.dll\0QpPwdSync.dll\0QpRes.dll\0QpEnroll.ocx\0"
    "QpVerify.ocx\0QuillexPro.tlb\0";

}  // namespace

const CWritablePlace kWritablePlaces[] = {
    {CWritablePlace::ProductPath, "", kProductDirNames},
    {CWritablePlace::SystemDirectory, "", kSystemDirNames},
    {CWritablePlace::WindowsDirectory, "", "Korvane Screensaver.scr\0Korvane Screensaver.exe\0"},
    {CWritablePlace::WindowsDirectory, "\\media", "FeedBack.wav\0"},
    {CWritablePlace::SystemDirectory, "\\drivers", "UsbDrv.sys\0USBkvFP.sys\0"},
    {CWritablePlace::WindowsDirectory, "\\system32\\drivers", "USBkvFP.sys\0"},
    {CWritablePlace::WindowsDirectory, "\\INF", "Kvinst.inf\0Korvane.inf\0"},
    {CWritablePlace::WindowsDirectory, "\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}", "Korvane.cat\0"},
};
const size_t kWritablePlaceCount = sizeof kWritablePlaces / sizeof kWritablePlaces[0];
