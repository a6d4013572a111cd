// Process-wide state of svf2qsvf with its defaults and its release.
#include "prog_state.h"

#include "chain.h"
#include "combine.h"
#include "file_channel.h"
#include "tap_data.h"

namespace svf {

int iOverWritePrompt, iDbg_StatusUpdate;
long lOptionKey;
int iFpgaFormat;
int64_t lFpgaRecSize, lQrepeatVal;
int iSvfCompress, iSkipTdoTest, iInOrder, iMultipleRunTest;
int64_t lRunMin;
double gdPlayerTck;
int giTckNoteGiven;
int giUseQwait, iQsvfExt, iOptMinQstateUsage, iOptUseQSDR, iV2Compatibility, iOptPrintSrc, iQsvfAscii;
int iSvfTrstRule, iRunTestFlag, iSdrFlag, iSirFlag;
int64_t lTckRunCount, lSdrSize;
int g_iStoredEndState, g_iStoredEndTap, g_iStoredEndMode, g_iDelayedEndxR;
int giQtapState;
int giSplitSdrWritten, giInOrderSirWritten;
unsigned giOptionLossWarned;
int giPlayerState, giPlayerEndPause[2];
std::unique_ptr<CCombinedValue> pSdrMask;
int64_t lSdrMaskSize;
std::unique_ptr<CTapObj> pGlobTapData;

FileChannel *pFC_Input, *pFC_Output, *pFC_Log, *pFC_Ascii, *pFC_List, *pNewChannel;

time_t t_SysDateTime, t_TimeStart, t_TimeFinish;
char sTimeStart[50], sTimeFinish[50];

void exitProgram(int status) { throw ProgExit{status}; }

void resetVars() {
    iOverWritePrompt = 1;
    lOptionKey = 0;
    iDbg_StatusUpdate = 0;
}

void initProg() {
    pFC_Input = pFC_Output = pFC_Log = pFC_Ascii = pFC_List = pNewChannel = nullptr;
    t_SysDateTime = t_TimeStart = t_TimeFinish = 0;
    sTimeStart[0] = sTimeFinish[0] = '\0';
    resetVars();
}

void initProgVariables() {
    iOverWritePrompt = 1;
    iDbg_StatusUpdate = 0;
    lOptionKey = 0;
    iFpgaFormat = 0;
    lFpgaRecSize = -1;
    lQrepeatVal = 32;
    iSvfCompress = 0;
    iSkipTdoTest = 0;
    iInOrder = 0;
    iMultipleRunTest = 0;
    lRunMin = -1;
    gdPlayerTck = 0;
    giTckNoteGiven = 0;
    giUseQwait = 0;
    iQsvfExt = 0;
    iOptMinQstateUsage = 1;
    iOptUseQSDR = 0;
    iV2Compatibility = 0;
    iOptPrintSrc = 0;
    iQsvfAscii = 0;
    iSvfTrstRule = iRunTestFlag = iSdrFlag = iSirFlag = 0;
    lTckRunCount = -1;
    lSdrSize = 0;
    g_iStoredEndState = 0;
    g_iStoredEndTap = qsvf::STATE_IDLE;
    g_iStoredEndMode = 0;
    g_iDelayedEndxR = 0;
    giQtapState = 0;
    giSplitSdrWritten = giInOrderSirWritten = 0;
    giOptionLossWarned = 0;
    resetChain();
    giPlayerState = qsvf::STATE_RESET;
    giPlayerEndPause[0] = giPlayerEndPause[1] = 0;
    pSdrMask.reset();
    lSdrMaskSize = -1;
    pGlobTapData.reset();
}

void freeMem() {
    // Each deletion flushes and closes its file; the lists are walked one
    // channel at a time.
    for (FileChannel *channel = pFC_List; channel;) {
        FileChannel *next = channel->pNext;
        delete channel;
        channel = next;
    }
    pFC_List = pFC_Output = pFC_Log = pFC_Ascii = nullptr;
    for (FileChannel *channel = pFC_Input; channel;) {
        FileChannel *next = channel->pNext;
        delete channel;
        channel = next;
    }
    pFC_Input = nullptr;
    delete pNewChannel;
    pNewChannel = nullptr;
}

void freeProgMem() {
    FileChannel *ascii = pFC_Ascii;  // the listing channel is not reset here
    initProgVariables();
    pFC_Ascii = ascii;
}

}  // namespace svf
