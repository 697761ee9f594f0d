// The Program Meter sequence of the window.
#include "app/frmMain.h"

void frmMain::wireProgramming() {}
void frmMain::cmdProgramMeter_Click() {}
int frmMain::CheckPointTable() { return 0; }
void frmMain::SendPointTable(PointSet) {}
