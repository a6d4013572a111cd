/* qsvfplay: the portable QSVF player.  It plays a QSVF stream on a TAP:
   the stream comes from the caller's read callback in chunks of any size,
   the pins are the caller's clock callback (one TCK with TMS and TDI,
   returning TDO), with an optional bulk shift for a hardware shift engine
   and an optional TRST line.  C99, also compiles as C++; no heap, no stdio,
   no globals: the whole player is the caller's `qsvfplay_state` struct and the
   vector buffer the caller hands it.

   What the records do at the pins:
   - Start: TRST is released (when the caller drives it), then five clocks of
     TMS high; the TAP rests in Test-Logic-Reset.
   - A scan (QSIR, QSIR2, QSDR, QSDRTDO, every scan of QSDRINC) walks from the
     stable state where the TAP rests to Shift-IR or Shift-DR: the walk is the
     stable-state path toward the pause state of that register, turned into
     the shift state at Capture (from Run-Test/Idle: Select-DR, Capture-DR,
     Shift-DR; from the other register's pause state through Exit2 and
     Update; from the pause state of the register scanned through Exit2
     straight back to Shift, without Update or Capture, as SVF scans from
     that pause state go, so that consecutive scans ending there reach the
     device as one).  Bit 0 goes first, TMS is high on the last bit, and the scan
     ends in the QENDIR/QENDDR state (0 Run-Test/Idle through Update, 1 the
     pause state).  A scan of 0 bits shifts nothing and only waits.
   - After every unsplit scan the run-test count of the last QRUNTEST is
     clocked in Run-Test/Idle (walking there from a pause end state); the TAP
     then rests in Run-Test/Idle.  Split pieces have no wait.
   - Split pieces (QSDRB/QSDRTDOB, QSDRC/QSDRTDOC, QSDRE/QSDRTDOE) are one DR
     scan: the TAP stays in Shift-DR from the first piece to the last, whose
     last bit leaves it.  Only QSDRSIZE, QTDOMASK and QCOMMENT may stand
     between pieces.  A last piece of 0 bits is refused (the TAP cannot leave
     Shift-DR without shifting a bit).
   - QSTATE (and QRESET, QIDLE: QSTATE 0 and 1) takes the single step when the
     state is one TCK away (a stable state to itself is one step), otherwise
     the stable-state path between two stable states; to a state that is not
     stable it walks to the stable state whose stable-state path passes it
     (Run-Test/Idle for the Select, Capture, Shift and Exit1 states, the
     pause state for Exit2 and Update), then along that path up to it.  So a
     stream that steps through states one QSTATE at a time from a state where
     the TAP does not rest (such as the end state of a RUNTEST, which
     QRUNTEST does not carry) first walks there.  QWAIT walks to its wait
     state unless the TAP rests there, clocks the count there (TMS high in
     Test-Logic-Reset, low elsewhere), then walks to its end state.  The
     stable-state paths: Test-Logic-Reset to the others through Run-Test/Idle;
     Run-Test/Idle to Test-Logic-Reset through Select-DR and Select-IR; into a
     pause state through Select, Capture and Exit1; out of a pause state
     through Exit2 and Update.  A scan, a QWAIT, or a QSTATE more than
     one step away, from a state that is not stable is an invalid stream.
   - TDO: QSDRTDO keeps its expected value; QSDR, QSDRTDO and the scans of
     QSDRINC compare TDO with the kept value under the standing mask (the last
     QTDOMASK).  Each TDO piece of a split scan is compared with its own
     expected value under the standing mask; a QTDOMASK between pieces sets
     the mask for the following pieces.  A mask or kept value keeps the length
     it was written with: mask bits beyond it are 0 (not compared), expected
     bits beyond it are 0.  Before the first QTDOMASK nothing is compared.
     Instruction scans compare nothing.
   - A failed comparison of an unsplit scan repeats the scan, with its wait,
     up to the QREPEAT count (default 0).  A failed split piece is final:
     the pieces before it are gone.
   - QSETSDRMASKS keeps the address and data masks; QSDRINC plays its first
     TDI value, then for each data field the previous TDI with the data-mask
     bits cleared, plus the address mask, with the field's bits put into the
     data-mask positions (lowest field bit into the lowest position).  A field
     has ceil(k/8) bytes, k the number of 1 bits in the data mask.
   - QCOMMENT has no pin effect; QCOMPLETE ends the play and nothing after it
     is read.

   The buffer.  The player keeps in it the two increment masks, the TDO mask
   and the kept expected value, and reads each record's vectors behind them;
   the TDO read by a compared scan goes to the end of the buffer.  A record
   whose vectors do not fit, together with what is kept and the TDO of its
   scan, is refused (QSVFPLAY_TOO_LONG) before any pin moves.  Vectors in the
   buffer are in shift order: byte i holds bits 8i..8i+7, bit 0 of byte 0
   first shifted.  In bytes, with B(n) = (n + 7) / 8 and D = B(the DR length):
   what is kept is 2 B(increment mask length of the last QSETSDRMASKS) +
   B(DR length at the last QTDOMASK) + B(DR length at the last QSDRTDO), and
   each record needs that plus: QSIR, QSIR2 of L bits B(L); QTDOMASK D;
   QSDR 2D; QSDRTDO 3D; QSETSDRMASKS 2D; QSDRINC 2D + its fields (count
   times B(1 bits of the data mask)); a split piece D, with TDO 3D.  So a
   stream whose DR scans are at most D bytes needs 5D bytes (plus the
   increment masks and the fields of svf2qsvf96's QSDRINC); svf2qsvf -fpga
   -rlen R keeps D at R / 8 however long the scans of the SVF file are.

   The board.  The callbacks run inside qsvfplay_step (and qsvfplay_run), on
   its stack; they get the ctx given to qsvfplay_init.  They may read the
   player's fields and vectors (qsvfplay_scan_vectors) but must not change
   them, nor call qsvfplay_init, qsvfplay_step or qsvfplay_run.  read may
   return fewer bytes than asked, in chunks of any size; clock gets TMS and
   TDI as 0 or 1 and returns TDO as 0 or 1; shift gets whole bytes (at least
   one) of a scan before its last bit, TMS low throughout, and must write
   every byte of `tdo` when it is not null; trst is called once, with 0,
   before the first clock.  A play step returns when its record is played:
   a long wait or scan is as long as the clocks it makes, and nothing else
   in the library blocks or loops on the pins.

   What the library assumes of the compiler: C99 with <stdint.h>'s
   uint8_t, uint16_t and uint32_t (so 8-bit bytes), every value of the
   stream in the fixed-width type of its size and no wider type; size_t for
   places in the buffer (it is one object, so they fit); int only for
   values that fit 16 bits (pins, end codes).  No byte order, no alignment
   beyond that of the types, no heap, no standard I/O, no global data but
   constant tables (in program memory on the AVR), no function of the C
   library.  Code, state and stack as measured by bench/player.sh (-Os,
   the stack as the deepest of the example firmware, main and its pin
   callbacks included): an 8-bit AVR (avr-gcc 5.4) 4,048 bytes of flash,
   3,826 of them linked into the example firmware (which does not call
   qsvfplay_scan_vectors), state 66 bytes, stack 86 bytes; Cortex-M0+
   (arm-none-eabi-gcc 12) 2,578 bytes, state 80 bytes, stack 296 bytes
   (M0 code) and 288 bytes (M3 code).

   Built with QSVFPLAY_NO_INCREMENTS defined, the library plays no
   QSETSDRMASKS and no QSDRINC (they are refused as unknown opcodes before
   any pin moves) and leaves their code out: enough for the streams of
   svf2qsvf and MergeQSVF's merges of them, which hold neither.  The AVR
   library is then 3,454 bytes, 3,242 linked into the example firmware;
   the Cortex-M0+ library 2,204 bytes.

   Every record is read whole before its pins move: a record cut off by the
   end of the stream, or one that breaks the format, stops the play with
   nothing of it played. */
#ifndef QSVFPLAY_H
#define QSVFPLAY_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* How a play step ends.  QSVFPLAY_MORE only from qsvfplay_step. */
enum {
    QSVFPLAY_MORE = 0,        /* a record was played; more follow */
    QSVFPLAY_COMPLETE = 1,    /* QCOMPLETE played */
    QSVFPLAY_TDO_FAILED = 2,  /* a TDO comparison failed after its repeats */
    QSVFPLAY_TRUNCATED = 3,   /* the stream ended inside a record or before QCOMPLETE */
    QSVFPLAY_BAD_OPCODE = 4,  /* a byte that is no opcode (QSETSDRMASKS and QSDRINC too, in
                                 a library built with QSVFPLAY_NO_INCREMENTS) */
    QSVFPLAY_BAD_OPERAND = 5, /* a state or end-state code out of range, a vector before
                                 QSDRSIZE, QSDRINC before QSETSDRMASKS, a move from or to
                                 a state the player cannot walk */
    QSVFPLAY_BAD_SPLIT = 6,   /* split pieces out of order, another record between pieces,
                                 an empty last piece */
    QSVFPLAY_TOO_LONG = 7     /* the record does not fit the buffer */
};

typedef struct qsvfplay_io {
    /* Copies up to `max` next bytes of the stream to `to` and returns how
       many; 0 is the end of the stream (or a read error). */
    size_t (*read)(void *ctx, uint8_t *to, size_t max);
    /* One TCK: sets TMS and TDI (0 or 1), reads TDO before the rising edge
       of TCK, then clocks; returns that TDO (0 or 1). */
    int (*clock)(void *ctx, int tms, int tdi);
    /* Optional (null: every bit goes through clock): shifts 8 * bytes bits
       with TMS low, TDI from `tdi` in shift order, and stores TDO in shift
       order into `tdo` unless it is null.  Used for the whole bytes of a
       scan before its last bit. */
    void (*shift)(void *ctx, const uint8_t *tdi, uint8_t *tdo, size_t bytes);
    /* Optional: drives TRST, 1 asserted, 0 released. */
    void (*trst)(void *ctx, int asserted);
} qsvfplay_io;

/* The player.  The caller owns it; the fields are readable at any time
   (the callbacks may read them during a play step). */
typedef struct qsvfplay_state {
    const qsvfplay_io *io;
    void *ctx;
    uint8_t *buf;
    /* The small fields first, where every processor reaches them with the
       shortest instructions. */
    uint8_t repeat;          /* repeat count of the last QREPEAT */
    uint8_t end_ir, end_dr;  /* end states of scans, as state codes */
    uint8_t tap;             /* state code of the TAP */
    uint8_t opcode;          /* of the record being played */
    uint8_t status;          /* QSVFPLAY_MORE while playing, then the end */
    uint8_t flags;           /* what has been set, and the start */
    /* The player's own, not to be relied on: whether the pieces of a
       split scan are being played, the byte length of the vectors of the
       record being played and of what is kept in the buffer. */
    uint8_t in_split;
    size_t vector_bytes, increment_bytes, mask_bytes, expected_bytes;
    uint32_t size;
    uint32_t offset;         /* stream bytes read */
    uint32_t dr_bits;        /* current DR length */
    uint32_t run_test;       /* clocks after every unsplit scan */
    uint32_t mask_bits;      /* length of the standing TDO mask */
    uint32_t expected_bits;  /* length of the kept expected TDO */
    uint32_t increment_bits; /* length of the two increment masks */
    uint32_t record;         /* offset of the record being played, or that failed */
    uint32_t scans;          /* scans started (a split scan is one, repeats not counted) */
    uint32_t compared;       /* TDO bits compared, repeats included */
    uint32_t repeats;        /* scans repeated after a failed comparison */
} qsvfplay_state;

/* The vectors of the DR scan being played, or of the one that failed, all
   in shift order.  `read` holds the TDO read so far, a byte at a time. */
typedef struct qsvfplay_vectors {
    const uint8_t *tdi, *expected, *mask, *read;
    uint32_t bits, expected_bits, mask_bits;
} qsvfplay_vectors;

/* Gets the player ready; nothing moves until the first step. */
void qsvfplay_init(qsvfplay_state *player, const qsvfplay_io *io, void *ctx, uint8_t *buffer, uint32_t size);
/* Plays the next record (the first step starts the TAP); returns
   QSVFPLAY_MORE or how the play ended, and that end again when called after it. */
int qsvfplay_step(qsvfplay_state *player);
/* Plays to the end; returns how it ended (never QSVFPLAY_MORE). */
int qsvfplay_run(qsvfplay_state *player);
/* The vectors of the current or failed DR scan; 0 when the record being
   played is no DR scan (then *vectors is unchanged), 1 otherwise. */
int qsvfplay_scan_vectors(const qsvfplay_state *player, qsvfplay_vectors *vectors);

#ifdef __cplusplus
}
#endif

#endif /* QSVFPLAY_H */
