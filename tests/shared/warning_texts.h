// The logon-library warning as the library's string table must carry it: caption (id 1) and text
// (id 2) in each language, as UTF-16. Shared by the host and the Windows tests.
#pragma once

struct WarningTexts {
    unsigned short language;
    const char16_t* caption;
    const char16_t* text;
};

inline const WarningTexts kWarningTexts[] = {
    {1033, u"Warning:",
     u"Quillex Pro may conflict with some other login software installed on this machine:\nGinaDll value is %s\n\n"
     u"Please refer to Readme file.\nPress OK to continue, press Cancel to abort installation."},
    {1028, u"警告:",
     u"Quillex Pro 與機器上已安裝之其他登錄用途軟體發生衝突:\nGinaDll 值 %s\n\n請參閱 Readme 檔案.\n"
     u"按OK鍵以繼續安裝，按取消鍵以停止安裝."},
    {1031, u"Warnung:",
     u"Zwischen Quillex Pro und einem weiteren Programm zum Anmelden auf diesem Computer können Konflikte "
     u"auftreten:\nGinaDll-Wert ist %s\n\nBitte lesen Sie sich die Readme-Datei durch.\nKlicken Sie zum "
     u"Fortfahren auf OK, oder klicken Sie auf Abbrechen, um die Installation abzubrechen."},
    {1034, u"Advertencia:",
     u"Quillex Pro puede estar en conflicto co otros programas en este contador:\nEl valor de GinaDll es %s\n\n"
     u"Por favor de leer el archivo de Readme.\nHaga clic en OK para continuar o Cancelar para abortar la "
     u"instalación."},
    {1040, u"Attenzione:",
     u"Quillex Pro potrebbe creare conflitti con altri software per l'accesso a Windows:\nil codice di errore di "
     u"GinaDLL è %s\n\nVedi il documento \"Leggimi\".\nOK per continuare, o Annulla per terminare "
     u"l'installazione."},
    {1042, u"경고:",
     u"Quillex Pro 는 이 컴퓨터에 있는 다른 로그인 프로그램과 충돌할 수 있읍니다. :\n GinaDll 값 데이터 는 is "
     u"%s\n\n입니다. Readme을 보시기 바랍니다.\n 인스톨을 계속하시려면 '예'에, 취소하시려면 '취소'에 클릭 "
     u"하시기 바랍니다."},
    {2060, u"Avertissement:",
     u"Quillex Pro est peut être en conflit avec d'autre logiciel de login installé sur cette machine:\nLa "
     u"valeur de GinaDll est %s\n\nVeuillez vous référez au fichier Lizezmoi.\nAppuyez sur OK pour continuer, "
     u"Appuyez sur Annuler pour terminer l'installation."},
};
