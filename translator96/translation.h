// The translation loop of svf2qsvf96: QREPEAT, then each scan group with
// the QSDRSIZE, QTDOMASK and QRUNTEST records it needs, and the other
// statements between the groups, then QCOMPLETE.
#ifndef SVF2QSVF96_TRANSLATION_H
#define SVF2QSVF96_TRANSLATION_H

namespace svf96 {

struct Session;

void Translate(Session &session);

}  // namespace svf96

#endif  // SVF2QSVF96_TRANSLATION_H
