/*
 * asiochan.h - the public C API of asiochan.dll.
 *
 * asiochan gives a 32-bit Windows application plain, channel-oriented access to a
 * multichannel audio interface through its ASIO driver. Every function is a flat
 * cdecl export with an undecorated name; nothing is thrown across the boundary and
 * no handles are handed out: the library keeps one process-wide engine and drives
 * one driver at a time.
 *
 * Calling order
 *   1. loadAsioDriver(name)           pick a driver (getAsioDriverCount/Name list them)
 *   2. Initialize()                   read its capabilities
 *   3. SetSampleRate(rate)            optional
 *   4. Prepare()                      create the driver buffers and start the driver
 *   5. streaming                      capture, playback, file players
 *   6. Finish()                       stop everything, dispose of the driver buffers
 *   7. releaseAsioDriver()            unload the driver
 *   After Finish, Prepare may run again without a new Initialize.
 *
 * Samples are moved as raw bytes in the driver's own sample format (see
 * ASIOGetChannelInfo's type); the file players always write 32-bit signed
 * little-endian samples, which is right for drivers whose outputs are
 * ASIOSTInt32LSB (type 18).
 *
 * Threads
 *   - The lifecycle calls (load/release, Initialize, SetSampleRate, Prepare, Finish)
 *     belong to one application thread at a time; two of them at once on different
 *     threads are not guarded against.
 *   - The channel calls (capture, playback, the queries, the file players) may come
 *     from any thread, also while another thread runs a lifecycle call or a stop:
 *     the library serialises what touches one channel's record, so a StopPlayback on
 *     the application's thread and a file player's worker queueing on its channel
 *     cannot tangle a record, leak or free a block twice. Give each channel one
 *     feeding thread all the same: two threads queueing on one channel get defined
 *     answers (-997 for the one that comes second), but their buffers play in
 *     whichever order the calls happened to land.
 *   - StopPlayback and StopCapture act on every channel, the file players' too:
 *     a player whose blocks are dropped by StopPlayback goes on with its next block.
 *   - The driver calls the library back on its own real-time thread; all audio moves
 *     there, and that thread never waits for an application thread. Stops never free
 *     what a period in progress still uses: they wait (on the calling thread,
 *     briefly) for that period to end.
 *   - Everything is learnt by polling; no call blocks waiting for audio.
 *
 * Calls out of order get a defined answer, never a crash:
 *   - with no driver loaded every driver call answers ASE_NotPresent (-1000) and
 *     the getters read 0 (after a driver was unloaded they keep what it reported);
 *   - a run is "prepared" from a Prepare whose buffer creation succeeded until the
 *     next Finish (also when the driver's start then failed: Finish it all the same);
 *   - Prepare while a run is prepared finishes that run first (as Finish would:
 *     its queued buffers and captures are dropped) and then prepares anew;
 *   - Initialize while a run is prepared answers ASE_InvalidMode (-997) and changes
 *     nothing: the run's buffers were made with the counts and period size it read;
 *   - releaseAsioDriver and loadAsioDriver while a run is prepared finish the run
 *     first, so the driver's thread never calls a released object;
 *   - Prepare before Initialize asks the driver for buffers of 0 frames, which it
 *     refuses; no run is prepared and no period is processed. The answer is still
 *     the driver's start result;
 *   - before the first Prepare no input sample width is known: SetCaptureBuffer and
 *     CaptureBuff answer ASE_InvalidMode (-997); channels a Prepare has not freed
 *     yet answer ASE_NotPresent (-1000) to SetCaptureBuffer;
 *   - playback buffers handed over while no run is prepared are kept but not played;
 *     the next Prepare drops them, as it drops whatever a finished run left queued;
 *   - the file players start only into a prepared run: before Prepare and after
 *     Finish their start answers 0. Finish does not stop a player that runs: it
 *     waits, silent, and goes on in the next run; stop the players before Finish;
 *   - null pointers, channel numbers above 63 (0xFFFFFFFF and -1 included) and
 *     negative lengths answer ASE_InvalidParameter (-998), 0 or -994 as documented
 *     per function; file names of 200 bytes or more, missing files and folders make
 *     a player's start answer 0; NaN, infinite and negative volumes answer 0 and
 *     rates that are not positive finite numbers -1000, and neither reaches the
 *     driver or changes anything.
 *
 * Drivers that break their contract are survived: channel counts outside 0..64 are
 * bounded; a period size of 0 or less, or one whose byte count does not fit 32
 * bits, makes every period do nothing; so does a callback with a buffer index other
 * than 0 or 1, or one made before Prepare has buffers or after Finish; a half-buffer
 * the driver left null is skipped; a direction none of whose channels has a sample
 * type with a width gets a width of 0 (no bytes move; capture cannot be armed),
 * whatever an earlier run's driver reported; a channel whose sample width differs
 * from the rest of its direction (the last channel's decides) is left alone.
 */
#ifndef ASIOCHAN_H
#define ASIOCHAN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define ASIOCHAN_CALL __cdecl
#else
#define ASIOCHAN_CALL
#endif

/* ---- Result codes ------------------------------------------------------------ */
#define ASIOCHAN_OK 0                       /* ASE_OK: success */
#define ASIOCHAN_NOT_PRESENT (-1000)        /* ASE_NotPresent: no driver; rate not taken; channel busy */
#define ASIOCHAN_HW_MALFUNCTION (-999)      /* ASE_HWMalfunction (a driver's own code) */
#define ASIOCHAN_INVALID_PARAMETER (-998)   /* ASE_InvalidParameter: null pointer, bad channel or length */
#define ASIOCHAN_INVALID_MODE (-997)        /* ASE_InvalidMode: a buffer is already queued */
#define ASIOCHAN_NO_MEMORY (-994)           /* ASE_NoMemory: no memory for a copy */
#define ASIOCHAN_LIST_NULL_ARGUMENT (-5001) /* driver list: null buffer or pointer */
#define ASIOCHAN_LIST_ENTRY_BUSY (-5002)    /* driver list: the entry already holds a driver */
#define ASIOCHAN_LIST_NO_ENTRY (-5003)      /* driver list: no entry with that index */
/* Any other negative code is the driver's own, or a COM creation result. */

#define ASIOCHAN_MAX_CHANNELS 64 /* channels 0..63 in each direction */

/* ---- Types ---------------------------------------------------------------------- */

/* The driver's description of one channel, laid out as the ASIO ASIOChannelInfo
 * (52 bytes). Set channel and isInput; ASIOGetChannelInfo fills the rest. */
typedef struct AsiochanChannelInfo {
    int32_t channel;
    int32_t isInput;      /* nonzero: an input channel */
    int32_t isActive;
    int32_t channelGroup;
    int32_t type;         /* ASIO sample type, e.g. 18 = 32-bit signed little-endian */
    char name[32];
} AsiochanChannelInfo;

/* One entry of CaptureBuff's array: 12 bytes, entries back to back. */
typedef struct CaptureRequest {
    void* buffer;       /* the application's capture buffer */
    int32_t byteLength; /* its length in bytes */
    uint32_t channel;   /* input channel 0..63 */
} CaptureRequest;

/* ---- Installed drivers ------------------------------------------------------------ */

/* Number of installed ASIO drivers (the registry is read once, at the first call). */
int32_t ASIOCHAN_CALL getAsioDriverCount(void);
/* Copies the name of driver `index` into `name` (at least 32 bytes); names of 32
 * characters or more come out as their first 28 and "...". 0, -5001 (null name) or
 * -5003 (no such index). */
int32_t ASIOCHAN_CALL getAsioDriverName(int32_t index, char* name);
/* Loads the driver whose listed name equals `name` exactly (case-sensitive). The
 * loaded driver is released first (and a prepared run finished); when creating the
 * new one fails, the previous driver is loaded again. 1 on success, 0 otherwise. */
uint8_t ASIOCHAN_CALL loadAsioDriver(const char* name);
/* Unloads the current driver, finishing a prepared run first. */
void ASIOCHAN_CALL releaseAsioDriver(void);
/* 1 when the maker's USB audio card is plugged in. */
uint8_t ASIOCHAN_CALL IsLxcardInsert(void);

/* ---- Driver calls --------------------------------------------------------------- */

/* Opens the driver's own control panel. The driver's result, or -1000. */
int32_t ASIOCHAN_CALL ASIOControlPanel(void);
/* Fills `info` for the channel and direction set in it. The driver's result; -1000
 * with channelGroup -1, type 0 and name "None" when no driver is loaded; -998 for a
 * null pointer. */
int32_t ASIOCHAN_CALL ASIOGetChannelInfo(AsiochanChannelInfo* info);

/* ---- Initialization and capabilities ----------------------------------------------- */

/* Initializes the loaded driver and reads its channel counts (at most 64 per
 * direction are used), buffer sizes and sample rate. 0 or the first failing code;
 * -997 while a run is prepared (Finish it first), with nothing changed. */
int32_t ASIOCHAN_CALL Initialize(void);
/* Asks the driver for `rate`. 0 only when the driver then reports exactly that
 * rate; the driver's code when it refuses; -1000 otherwise. A rate that is not a
 * positive finite number answers -1000 without asking the driver. */
int32_t ASIOCHAN_CALL SetSampleRate(double rate);
int32_t ASIOCHAN_CALL GetBufferSizeMax(void);       /* frames */
int32_t ASIOCHAN_CALL GetBufferSizeMin(void);       /* frames */
int32_t ASIOCHAN_CALL GetBufferSizePreferred(void); /* frames per period, used by the engine */
double ASIOCHAN_CALL GetCurrentSampleRate(void);    /* Hz */
int32_t ASIOCHAN_CALL GetInputChannelCount(void);
int32_t ASIOCHAN_CALL GetOutputChannelCount(void);
int32_t ASIOCHAN_CALL GetInputLatency(void);  /* frames; read by Prepare */
int32_t ASIOCHAN_CALL GetOutputLatency(void); /* frames; read by Prepare */

/* ---- Run start and finish ----------------------------------------------------------- */

/* Creates one driver buffer pair per channel, registers the callbacks, learns the
 * sample widths and latencies and starts the driver. The result of the start. A run
 * still prepared is finished first. Playback buffers and captures of the device's
 * channels left from before are dropped. */
int32_t ASIOCHAN_CALL Prepare(void);
/* Stops playback and capture, stops the driver and disposes of its buffers. The
 * result of the stop, or of the disposal when the stop succeeded; the channels are
 * freed and no later callback of the driver touches anything, even when its stop
 * failed. Does not stop the file players. */
int32_t ASIOCHAN_CALL Finish(void);

/* ---- What the driver asks for ----------------------------------------------------------
 * A driver tells the host, on a thread of its own, when something changed under a
 * run. The library still answers it as before, notes what it said, and reports it
 * here; acting on it is the application's decision.
 *
 * ASIOCHAN_REQUEST_RESET      the driver asks to be restarted, typically because its
 *                             period size or format changed. From that moment until
 *                             the next Prepare no audio moves: every output the run
 *                             serves plays silence, captures and queued playback stay
 *                             where they were. Do: Finish, Initialize (it reads the new
 *                             sizes), Prepare, then queue the playback and arm the
 *                             captures again. What a capture held so far stays in its
 *                             buffer.
 * ASIOCHAN_REQUEST_RESYNC     the driver lost its timing (e.g. dropped periods); the
 *                             stream goes on. Worth a note in a log.
 * ASIOCHAN_REQUEST_LATENCIES  the driver's latencies changed; the stream goes on.
 *                             GetInputLatency and GetOutputLatency keep what the last
 *                             Prepare read; Prepare again to read the new ones.
 * ASIOCHAN_REQUEST_SAMPLE_RATE the driver's sample rate changed; the stream goes on.
 *                             GetCurrentSampleRate keeps what was last read;
 *                             Finish, Initialize and Prepare to run at the new rate.
 */
#define ASIOCHAN_REQUEST_RESET 1u
#define ASIOCHAN_REQUEST_RESYNC 2u
#define ASIOCHAN_REQUEST_LATENCIES 4u
#define ASIOCHAN_REQUEST_SAMPLE_RATE 8u

/* The ASIOCHAN_REQUEST_* bits of what the driver asked for since the last call (or
 * since the last Prepare, which clears them), then clears them. Poll it while a
 * run streams. */
uint32_t ASIOCHAN_CALL GetDriverRequests(void);
/* The periods processed since the last Prepare, wrapping at 2^32; 0 while no run is
 * prepared. Periods held after a reset request are not counted, so the count is
 * also the number of periods that moved audio. A count that stops rising while the
 * run streams, with no reset asked for, means the driver stopped delivering
 * periods (its device was unplugged, its audio server ended): Finish and report
 * it. */
uint32_t ASIOCHAN_CALL GetPeriodCount(void);

/* ---- Capture ------------------------------------------------------------------------- */

/* Arms input `channel` to record `byteLength` bytes into `buffer` (zeroed first) from
 * the first period after StartCapture; the engine also keeps a copy for the dump
 * files "D:\buffer_debug_<n>_output.dat" and "..._internal.dat" written at completion.
 * 0; -998 for a null buffer, a negative length or a channel above 63; -1000 when the
 * channel is busy; -997 before Prepare. The buffer must stay valid until the channel
 * is done (IsPortCaptureRunning answers 0) or StopCapture. */
int32_t ASIOCHAN_CALL SetCaptureBuffer(void* buffer, int32_t byteLength, uint32_t channel);
/* Arms `count` channels at once and starts capturing. 0; -998 at the first entry with
 * a channel above 63, a null buffer or a negative length (earlier entries stay armed). */
int32_t ASIOCHAN_CALL CaptureBuff(const CaptureRequest* requests, int32_t count);
void ASIOCHAN_CALL StartCapture(void);
/* Abandons every running capture; buffers keep what was captured so far. */
void ASIOCHAN_CALL StopCapture(void);
/* 1 while any armed channel is still capturing. */
uint8_t ASIOCHAN_CALL IsCaptureRunning(void);
/* 1 while `channel` is armed; 0 when it is done or above 63. */
uint8_t ASIOCHAN_CALL IsPortCaptureRunning(uint32_t channel);

/* ---- Playback ------------------------------------------------------------------------ */

/* Copies `byteLength` bytes of output `channel`'s samples. On an idle channel they
 * start playing at once (while playback runs); otherwise they are queued to follow
 * without a gap. 0; -998 null data or channel above 63; -997 a buffer is already
 * queued; -994 no memory (a negative length included). The caller's buffer may be
 * reused as soon as the call returns. */
int32_t ASIOCHAN_CALL SetPlayBuffer(const void* data, int32_t byteLength, uint32_t channel);
/* Does nothing; answers 0. */
int32_t ASIOCHAN_CALL PlayBuff(void);
/* Starts (or resumes) playing every channel that holds a buffer. Call it again when
 * playback has run dry (IsPortPlaybackRunning 0 on every channel). */
void ASIOCHAN_CALL StartPlayback(void);
/* Stops every channel and drops their buffers. */
void ASIOCHAN_CALL StopPlayback(void);
/* 1 when a further buffer may be queued on `channel`; 0 while one is queued, and for
 * channels above 63. */
uint8_t ASIOCHAN_CALL IsCanSendNextPlaybackBuffer(uint32_t channel);
/* 1 while `channel` holds a buffer; 0 when idle or above 63. */
uint8_t ASIOCHAN_CALL IsPortPlaybackRunning(uint32_t channel);

/* ---- File players ------------------------------------------------------------------------
 * Each player streams a PCM WAV file (8, 16 or 24 bits; its first channel) to output
 * channels in blocks of two seconds, once or in a loop, on a worker thread of its own.
 * File names are ANSI paths of at most 199 bytes. The starts answer 0 while no run
 * is prepared. A file removed or locked while it loops ends the player at the end
 * of the pass under way. */

/* Plays `path` on every output channel whose bit is set in `mask` (channels 0..31).
 * 1 when started; 0 when no run is prepared, when in play, the mask is empty or
 * names a channel the driver does not have, the channels are still held by an
 * earlier run, or the file is not playable. */
uint8_t ASIOCHAN_CALL MultipleChanelPlayStart(const char* path, uint32_t mask, uint8_t loop);
void ASIOCHAN_CALL MultipleChanelPlayStop(void);
/* Gain for the multi-channel player (1.0 = unchanged). 0 for negative or non-finite values. */
uint8_t ASIOCHAN_CALL MultipleChanelSetVolume(float volume);
uint8_t ASIOCHAN_CALL IsMultipleInPlay(void);

/* Plays `path` on one output `channel`. 1 when started; 0 when no run is prepared,
 * when in play, the channel is not below the output channel count, or the file is
 * not playable. */
uint8_t ASIOCHAN_CALL SingleChanelPlayStart(const char* path, uint32_t channel, uint8_t loop);
void ASIOCHAN_CALL SingleChanelPlayStop(void);
/* Gain for the single-channel player. 0 for negative or non-finite values. */
uint8_t ASIOCHAN_CALL SingleChanelSetVolume(float volume);
uint8_t ASIOCHAN_CALL IsSingleInPlay(void);

#ifdef __cplusplus
}
#endif

#endif /* ASIOCHAN_H */
