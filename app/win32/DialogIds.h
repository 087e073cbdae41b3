/* Identifiers of the dialog template, shared by the resource script and the
   dialog code (plain C: the resource compiler reads it too). */
#ifndef UNDELETE_DIALOG_IDS_H
#define UNDELETE_DIALOG_IDS_H

#define IDD_UNDELETE 101
#define IDC_PARTITION_LIST 1001
#define IDC_SAVE 1003
#define IDC_SCAN 1004
#define IDC_FILE_LIST 1005
#define IDC_DELETED_COUNT 1006
#define IDC_SCANNED_COUNT 1007

#endif
