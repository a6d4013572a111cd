// Process-wide state of svf2qsvf: the option variables set from the command
// line, the run state that ties consecutive SVF commands together, the file
// channels and the time stamps, with their defaults (initProg,
// initProgVariables) and the release at the end of a run (freeMem,
// freeProgMem).  Also the one exit path: exitProgram throws a ProgExit that
// runSvf2qsvf catches and turns into the exit status.
#ifndef SVF_PROG_STATE_H
#define SVF_PROG_STATE_H

#include <cstdint>
#include <ctime>
#include <memory>

namespace svf {

class FileChannel;
class CTapObj;
class CCombinedValue;

// Thrown to end a run; carries the exit status.
struct ProgExit {
    int status;
};
[[noreturn]] void exitProgram(int status);

inline constexpr const char *kProgName = "svf2qsvf";

// Options (defaults in initProgVariables).
extern int iOverWritePrompt;
extern int iDbg_StatusUpdate;
extern long lOptionKey;
extern int iFpgaFormat;
extern int64_t lFpgaRecSize;
extern int64_t lQrepeatVal;
extern int iSvfCompress;
extern int iSkipTdoTest;
extern int iInOrder;
extern int iMultipleRunTest;
extern int64_t lRunMin;
extern double gdPlayerTck;     // -tck: the board player's TCK in Hz; 0 when not given
extern int giTckNoteGiven;     // the note naming the -tck clock was shown
extern int giUseQwait;
extern int iQsvfExt;
extern int iOptMinQstateUsage;
extern int iOptUseQSDR;
extern int iV2Compatibility;
extern int iOptPrintSrc;
extern int iQsvfAscii;

// Run state.
extern int iSvfTrstRule;
extern int iRunTestFlag;
extern int iSdrFlag;
extern int iSirFlag;
extern int64_t lTckRunCount;  // count the player holds; -1 unknown
extern int64_t lSdrSize;      // length of the last QSDRSIZE written
extern int g_iStoredEndState;
extern int g_iStoredEndTap;
extern int g_iStoredEndMode;
extern int g_iDelayedEndxR;
extern int giQtapState;
extern int giSplitSdrWritten;    // the last SDR written was split into pieces
extern int giInOrderSirWritten;  // the command just handled wrote its SIR at once (-inorder)
extern unsigned giOptionLossWarned;
// Where the player rests after the records written so far: a scan ends in
// the end state its QENDIR/QENDDR set (Run-Test/Idle or the pause state),
// and a run-test count after it is clocked in Run-Test/Idle, whatever state
// the SVF asks; QSTATE and QWAIT go where they say.
extern int giPlayerState;
extern int giPlayerEndPause[2];  // DR, IR: the last QENDDR, QENDIR written was 1  // kinds of option loss already warned (bit per OptionLoss)
extern std::unique_ptr<CCombinedValue> pSdrMask;  // last QTDOMASK written from a MASK
extern int64_t lSdrMaskSize;  // length of the last QTDOMASK written; -1 before the first
extern std::unique_ptr<CTapObj> pGlobTapData;

// Channels.
extern FileChannel *pFC_Input;   // head of the input list
extern FileChannel *pFC_Output;
extern FileChannel *pFC_Log;
extern FileChannel *pFC_Ascii;
extern FileChannel *pFC_List;    // all write channels, newest first
extern FileChannel *pNewChannel;

// Time stamps.
extern time_t t_SysDateTime;
extern time_t t_TimeStart;
extern time_t t_TimeFinish;
extern char sTimeStart[50];
extern char sTimeFinish[50];

void initProg();
void resetVars();
void initProgVariables();
void freeMem();
void freeProgMem();

}  // namespace svf

#endif  // SVF_PROG_STATE_H
