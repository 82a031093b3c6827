/*
 * asiochan.h - the public C API of asiochan.dll.
 *
 * Channel-oriented access to a multichannel audio interface through its ASIO driver.
 * Every function is a flat cdecl export with an undecorated name; nothing is thrown
 * across the boundary and no handles are handed out: the library keeps one
 * process-wide engine and drives one driver at a time. Every call made out of order
 * gets a defined answer, never a crash. Each function tells what it does, then what
 * it answers (Returns), which threads may call it (Thread) and what it does when
 * called out of order (Out of order).
 *
 * Calling order
 *   1. loadAsioDriver(name)    pick a driver (getAsioDriverCount/Name list them)
 *   2. Initialize()            read its capabilities
 *   3. SetSampleRate(rate)     optional
 *   4. Prepare()               create the driver buffers and start the driver
 *   5. streaming               capture, playback, file players
 *   6. Finish()                stop everything, dispose of the driver buffers
 *   7. releaseAsioDriver()     unload the driver
 *   After Finish, Prepare may run again without a new Initialize. A run is "prepared"
 *   from a Prepare whose buffer creation succeeded until the next Finish.
 *
 * State at load
 *   Before the first call the library holds no driver and no run: the getters answer
 *   0 (0.0), capture and playback do not run, no player is in play and both players'
 *   volumes are 1.0. The channels, though, do not start idle (as it always was):
 *   - every input channel reads armed: IsPortCaptureRunning answers 1 for it and
 *     SetCaptureBuffer ASIOCHAN_NOT_PRESENT, until the channel is freed;
 *   - every output channel reads busy: IsPortPlaybackRunning answers 1 for it, until
 *     the channel is reset;
 *   - only output 0 takes a buffer: IsCanSendNextPlaybackBuffer answers 1 for channel
 *     0 alone, and SetPlayBuffer queues a buffer (not played) on channel 0 and
 *     answers ASIOCHAN_INVALID_MODE on the others.
 *   Prepare and Finish free and reset the channels below the counts Initialize read
 *   and let every output take a buffer. A StopCapture made while capture runs frees
 *   all 64 inputs, a StopPlayback made while playback runs resets all 64 outputs, and
 *   any StopPlayback lets every output take a buffer. A channel at or above the
 *   driver's count keeps its state at load until then. CaptureBuff arms a channel
 *   whatever its state, once a Prepare has made the input sample width known.
 *
 * Threads
 *   - lifecycle: the installed-driver calls, IsLxcardInsert, ASIOControlPanel,
 *     ASIOGetChannelInfo, Initialize, SetSampleRate, Prepare and Finish belong to one
 *     application thread at a time; two of them at once are not guarded against.
 *     Prefer the thread that made the first installed-driver call: COM is initialized
 *     there.
 *   - any: the channel calls (capture, playback, file players) and the getters may
 *     come from any thread, also while a lifecycle call or a stop runs on another:
 *     what touches one channel's record is serialised, so a stop and a file player
 *     queueing on the same channel cannot tangle it, leak or free a block twice.
 *     Give each channel one feeding thread all the same: two threads queueing on one
 *     channel get defined answers, but their buffers play in whichever order the
 *     calls happened to land.
 *   - The lifecycle calls that change a run (loadAsioDriver, releaseAsioDriver,
 *     Initialize, SetSampleRate, Prepare, Finish) change it in one step for the
 *     channel calls: SetCaptureBuffer, CaptureBuff, StopCapture,
 *     SetPlayBuffer, StopPlayback and the players' starts, made meanwhile on another thread, wait
 *     until the lifecycle call has returned, and the lifecycle call first waits for
 *     those already under way (none of them waits for more than the driver's period
 *     in flight and a completed capture's files). A capture is armed, a buffer
 *     queued and a player started against the run as it was before or as it is
 *     after, never against half of each (a sample width of one run and the buffers
 *     of the next). StartCapture, StartPlayback, StartCaptureAndPlayback, the players'
 *     stops and volumes and the getters do not wait: each is one step, taken before or after, and each
 *     getter answers one value.
 *   - The driver calls the library back on its own real-time thread; all audio moves
 *     there and that thread never waits for an application thread. A period does all
 *     it does to the application's memory, the library's and the driver's buffers
 *     first, and only then tells the driver its output is ready (the driver may hold
 *     it there). Stops wait briefly on the calling thread for a period in progress to
 *     get past that point, so nothing it uses is handed back or freed under it; Prepare
 *     and Finish wait for it to leave the library before they dispose of the driver's
 *     buffers or make new ones, up to 2 s for the whole call however much it takes
 *     back. A stop whose wait gives up hands nothing back that the period may still
 *     write: the inputs that were armed read armed until it is done, inputs that were
 *     free stay free, and an input armed afterwards (or taken over by CaptureBuff)
 *     keeps its own capture.
 *     The channel calls do not wait for audio to play or be captured: the application
 *     learns progress by polling. ReadStream and WriteStream wait for frames or room
 *     when asked to (see Streams), holding nothing while they wait: the library's
 *     thread wakes them (it looks every 2 ms while one waits, on a high-resolution
 *     timer where Windows has one, else with the system timer at 1 ms only while it
 *     looks), and StopStream,
 *     CloseStream, Finish and Prepare make them return at once.
 *   - The driver's thread does no slow work: no file I/O, no heap allocation or
 *     release, no lock, no wait. The capture dump files and the release of finished
 *     playback blocks and capture copies are left to a thread of the library's own.
 *     Prepare (or arming a capture) starts it; it stays while a run is prepared and
 *     ends by itself about a second after Finish once nothing is left to do. It holds
 *     a reference on the DLL while it runs, so a FreeLibrary of the DLL returns at
 *     once and the DLL is unloaded only after the thread's last dump (a DLL freed
 *     while a run is still prepared stays loaded, as the driver may still call it:
 *     Finish and releaseAsioDriver first). The library never waits for that thread
 *     while it is loaded or unloaded. Should the thread fail to start, its work is
 *     done on the application's thread at the next IsPortCaptureRunning,
 *     IsCaptureRunning, SetPlayBuffer, SetCaptureBuffer, CaptureBuff, StopCapture,
 *     Prepare or Finish, never on the driver's thread.
 *
 * Linux
 *   libasiochan.so has the same exports, with C names and nothing else visible, for
 *   development and CI: no real device is reached from Linux. Its driver list holds
 *   the simulated driver's classes of libasiochan_sim.so (the library beside it)
 *   under their Windows names, from the moment it is loaded, running on real-time
 *   clocks; IsLxcardInsert answers 0. The capture dump files (the D: drive on
 *   Windows) go to the folder the environment variable ASIOCHAN_DUMP_DIR names
 *   (read at load; Linux only); without it they are skipped, as on a Windows machine
 *   without a D: drive.
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

/* ---- Result codes ------------------------------------------------------------------------ */
/* The ASIO error codes the library answers itself; any other negative code is the
 * driver's own, passed through, or a COM creation result. */
#define ASIOCHAN_OK 0                       /* ASE_OK: success */
#define ASIOCHAN_NOT_PRESENT (-1000)        /* ASE_NotPresent */
#define ASIOCHAN_HW_MALFUNCTION (-999)      /* ASE_HWMalfunction: only ever a driver's own */
#define ASIOCHAN_INVALID_PARAMETER (-998)   /* ASE_InvalidParameter */
#define ASIOCHAN_INVALID_MODE (-997)        /* ASE_InvalidMode */
#define ASIOCHAN_NO_MEMORY (-994)           /* ASE_NoMemory */
#define ASIOCHAN_LIST_NULL_ARGUMENT (-5001) /* driver list: null buffer or pointer */
#define ASIOCHAN_LIST_ENTRY_BUSY (-5002)    /* driver list: entry in use (no export answers it) */
#define ASIOCHAN_LIST_NO_ENTRY (-5003)      /* driver list: no entry with that index */
#define ASIOCHAN_STREAM_ENDED (-6001)       /* the stream has ended: nothing more to read or write */
#define ASIOCHAN_DRIVER_STUCK (-6002)       /* a period stayed inside the driver past the wait */

/* A short English text for `code`, for messages and exceptions: each code above has
 * its own ("success", "invalid parameter", "the stream has ended", ...); any other
 * code, a driver's own included, answers "unknown result code".
 * Returns:      a zero-terminated text in static storage, never null (not to be freed).
 * Thread:       any, any time; never waits.
 * Out of order: none; needs no driver. */
const char* ASIOCHAN_CALL AsiochanErrorText(int32_t code);

#define ASIOCHAN_MAX_CHANNELS 64 /* channels 0..63 in each direction */

/* ---- Types ------------------------------------------------------------------------------- */

/* 32-bit and 64-bit: asiochan.dll comes in both, with the same undecorated
 * exports; on 64-bit Windows every function uses the one x64 calling convention.
 * Use the DLL of the application's own bitness: it lists and loads only the
 * drivers installed for that bitness. The one layout that differs between the two
 * is CaptureRequest, which holds a pointer (12 bytes in 32-bit code, 16 in 64-bit
 * code); AsiochanChannelInfo is 52 bytes in both, and the stream's structs (see
 * Streams) have one layout in both. */

/* The driver's description of one channel, laid out as the ASIO ASIOChannelInfo
 * (52 bytes). Set channel and isInput; ASIOGetChannelInfo fills the rest. */
typedef struct AsiochanChannelInfo {
    int32_t channel;
    int32_t isInput;      /* nonzero: an input channel */
    int32_t isActive;
    int32_t channelGroup;
    int32_t type;         /* sample type: ASIOCHAN_SAMPLE_* (below) */
    char name[32];
} AsiochanChannelInfo;

/* One entry of CaptureBuff's array, entries back to back: 12 bytes in 32-bit code
 * (byteLength at 4, channel at 8), 16 bytes in 64-bit code (at 8 and 12). */
typedef struct CaptureRequest {
    void* buffer;       /* the application's capture buffer */
    int32_t byteLength; /* its length in bytes */
    uint32_t channel;   /* input channel 0..63 */
} CaptureRequest;

/* ---- Sample types ------------------------------------------------------------------------
 * A channel's sample type (AsiochanChannelInfo.type, the driver's own format) tells how
 * its samples lie in the bytes SetPlayBuffer takes and a capture records. The table
 * lists the types the library knows, one row each; the DSD types (0 bytes) and the
 * codes it does not list have no width: the library moves no bytes of them. Columns:
 *   id     ASIOCHAN_SAMPLE_<id> is the type's code (ASIOCHAN_SAMPLE_INT32LSB is 18)
 *   code   the ASIO sample type code
 *   name   the type's ASIO name
 *   bytes  bytes per sample; 0: no width
 *   msb    1: the most significant byte first (big-endian); 0: the least significant
 *   float  1: an IEEE float of full scale +-1.0; 0: a two's-complement integer
 *   bits   integers: the significant bits, the low ones of the sample, sign-extended
 *          through the others; floats: 8 x bytes; 0 without a width
 * The file players' 32-bit values v (full scale the whole 32-bit range) are stored as
 * v >> (32 - bits) in an integer type and as v / 2^31 in a float type. To walk the
 * table, expand ASIOCHAN_SAMPLE_TYPES with a macro of your own that takes the seven
 * columns:
 *   #define WIDTH_ROW(id, code, name, bytes, msb, is_float, bits) {code, bytes},
 *   static const struct { int32_t code, bytes; } widths[] = {ASIOCHAN_SAMPLE_TYPES(WIDTH_ROW)};
 */
#define ASIOCHAN_SAMPLE_TYPES(ROW)                                \
    /*  id           code  name           bytes msb float bits */ \
    ROW(INT16MSB,       0, "Int16MSB",       2,  1,   0,   16)    \
    ROW(INT24MSB,       1, "Int24MSB",       3,  1,   0,   24)    \
    ROW(INT32MSB,       2, "Int32MSB",       4,  1,   0,   32)    \
    ROW(FLOAT32MSB,     3, "Float32MSB",     4,  1,   1,   32)    \
    ROW(FLOAT64MSB,     4, "Float64MSB",     8,  1,   1,   64)    \
    ROW(INT32MSB16,     8, "Int32MSB16",     4,  1,   0,   16)    \
    ROW(INT32MSB18,     9, "Int32MSB18",     4,  1,   0,   18)    \
    ROW(INT32MSB20,    10, "Int32MSB20",     4,  1,   0,   20)    \
    ROW(INT32MSB24,    11, "Int32MSB24",     4,  1,   0,   24)    \
    ROW(INT16LSB,      16, "Int16LSB",       2,  0,   0,   16)    \
    ROW(INT24LSB,      17, "Int24LSB",       3,  0,   0,   24)    \
    ROW(INT32LSB,      18, "Int32LSB",       4,  0,   0,   32)    \
    ROW(FLOAT32LSB,    19, "Float32LSB",     4,  0,   1,   32)    \
    ROW(FLOAT64LSB,    20, "Float64LSB",     8,  0,   1,   64)    \
    ROW(INT32LSB16,    24, "Int32LSB16",     4,  0,   0,   16)    \
    ROW(INT32LSB18,    25, "Int32LSB18",     4,  0,   0,   18)    \
    ROW(INT32LSB20,    26, "Int32LSB20",     4,  0,   0,   20)    \
    ROW(INT32LSB24,    27, "Int32LSB24",     4,  0,   0,   24)    \
    ROW(DSD_INT8LSB1,  32, "DSDInt8LSB1",    0,  0,   0,    0)    \
    ROW(DSD_INT8MSB1,  33, "DSDInt8MSB1",    0,  0,   0,    0)    \
    ROW(DSD_INT8NER8,  40, "DSDInt8NER8",    0,  0,   0,    0)

#define ASIOCHAN_SAMPLE_CONSTANT(id, code, name, bytes, msb, is_float, bits) enum { ASIOCHAN_SAMPLE_##id = code };
ASIOCHAN_SAMPLE_TYPES(ASIOCHAN_SAMPLE_CONSTANT)
#undef ASIOCHAN_SAMPLE_CONSTANT

/* ---- Installed drivers ------------------------------------------------------------------- */
/* The first call of getAsioDriverCount, getAsioDriverName, loadAsioDriver or
 * IsLxcardInsert reads the registry once; drivers installed later are not seen until
 * the process restarts. A driver is listed only when its in-process server file exists. */

/* Number of installed ASIO drivers.
 * Returns:      the count; 0 when none is installed or the list cannot be made.
 * Thread:       lifecycle.
 * Out of order: none; needs no driver. */
int32_t ASIOCHAN_CALL getAsioDriverCount(void);

/* Copies the name of driver `index` (0 .. count-1) into `name`, which holds at least
 * 32 bytes; a name of 32 characters or more comes out as its first 28 and "...".
 * Returns:      ASIOCHAN_OK; ASIOCHAN_LIST_NULL_ARGUMENT for a null `name`;
 *               ASIOCHAN_LIST_NO_ENTRY for an index with no driver, negative included.
 * Thread:       lifecycle.
 * Out of order: none; needs no driver. */
int32_t ASIOCHAN_CALL getAsioDriverName(int32_t index, char* name);

/* Loads the driver whose listed name equals `name` exactly (case-sensitive): finishes
 * a prepared run (as Finish), closes the stream, releases the loaded driver and creates
 * the new one. When
 * the creation fails the previous driver, if any, is created again. Either comes up
 * uninitialized: call Initialize; until then the getters answer what the previous
 * driver reported. A previous driver whose period is stuck (see releaseAsioDriver) is
 * leaked, not released; the new one initializes as usual, and prepares once the old
 * one's thread has left the library (until then Prepare answers ASIOCHAN_DRIVER_STUCK).
 * Returns:      1 when the named driver is loaded; 0 otherwise.
 * Thread:       lifecycle.
 * Out of order: a null or unlisted name answers 0 and changes nothing; the driver
 *               already loaded may be named again (it is released and created anew). */
uint8_t ASIOCHAN_CALL loadAsioDriver(const char* name);

/* Unloads the current driver, finishing a prepared run first (as Finish), so the
 * driver's thread never calls a released object. Afterwards every driver call answers
 * ASIOCHAN_NOT_PRESENT; the getters keep what the driver reported. A driver whose
 * period stayed inside it past Finish's wait (ASIOCHAN_DRIVER_STUCK) and has still not
 * left is not released but leaked: its thread may still return into the library. A
 * stream is closed.
 * Returns:      nothing.
 * Thread:       lifecycle.
 * Out of order: with no driver loaded it does nothing. */
void ASIOCHAN_CALL releaseAsioDriver(void);

/* Tells whether the maker's USB audio card is plugged in (one of its two hardware ids
 * among the present USB devices).
 * Returns:      1 when present; 0 otherwise, also when the device list cannot be read.
 * Thread:       lifecycle (it may be the first installed-driver call).
 * Out of order: none; needs no driver. */
uint8_t ASIOCHAN_CALL IsLxcardInsert(void);

/* ---- Driver calls ------------------------------------------------------------------------ */

/* Opens the driver's own control panel.
 * Returns:      the driver's result; ASIOCHAN_NOT_PRESENT with no driver loaded.
 * Thread:       lifecycle.
 * Out of order: any time a driver is loaded; the driver decides what it allows. */
int32_t ASIOCHAN_CALL ASIOControlPanel(void);

/* Fills `info` for the channel and direction set in it.
 * Returns:      the driver's result; ASIOCHAN_INVALID_PARAMETER for a null `info`;
 *               ASIOCHAN_NOT_PRESENT with no driver loaded, with channelGroup -1,
 *               type 0 and name "None" filled in.
 * Thread:       lifecycle.
 * Out of order: any time a driver is loaded; the driver answers for a bad channel. */
int32_t ASIOCHAN_CALL ASIOGetChannelInfo(AsiochanChannelInfo* info);

/* ---- Initialization and capabilities ----------------------------------------------------- */

/* Initializes the loaded driver and reads its channel counts, buffer sizes and sample
 * rate. A driver reporting more than 64 channels (or fewer than 0) in a direction is
 * taken to have 64 (or 0). A driver that refuses to initialize is dropped: every driver
 * call then answers ASIOCHAN_NOT_PRESENT until the next loadAsioDriver.
 * Returns:      ASIOCHAN_OK, or the first failing code (the values read before it are
 *               kept); ASIOCHAN_NOT_PRESENT with no driver or when the driver refuses;
 *               ASIOCHAN_DRIVER_STUCK, asking nothing, after a Finish or Prepare
 *               answered it, until a Finish succeeds or another driver is loaded.
 * Thread:       lifecycle.
 * Out of order: while a run is prepared it answers ASIOCHAN_INVALID_MODE and changes
 *               nothing, since the run's buffers were made with the counts and period
 *               size it read: Finish first. It may run again at any other time. */
int32_t ASIOCHAN_CALL Initialize(void);

/* Asks the driver for `rate` (Hz) and reads the rate back into GetCurrentSampleRate.
 * Returns:      ASIOCHAN_OK only when the driver reports exactly `rate` back; the
 *               driver's code when it refuses; ASIOCHAN_NOT_PRESENT when the rate read
 *               back differs or cannot be read, with no driver, and for a rate that is
 *               not a positive finite number (then no driver is asked, nothing changes).
 * Thread:       lifecycle.
 * Out of order: the driver is asked whenever one is loaded; nothing in a prepared run
 *               adapts to a new rate. */
int32_t ASIOCHAN_CALL SetSampleRate(double rate);

/* What the driver reported: the buffer sizes and channel counts at the last
 * Initialize (counts within 0..64), the rate at the last Initialize or SetSampleRate,
 * the latencies at the last Prepare that made buffers (unless its last channel query
 * failed).
 * Returns:      the value; 0 (0.0) before it was first read.
 * Thread:       any.
 * Out of order: with no driver loaded, and after releaseAsioDriver, they keep what was
 *               last read. */
int32_t ASIOCHAN_CALL GetBufferSizeMax(void);       /* frames */
int32_t ASIOCHAN_CALL GetBufferSizeMin(void);       /* frames */
int32_t ASIOCHAN_CALL GetBufferSizePreferred(void); /* frames per period, used by Prepare */
double ASIOCHAN_CALL GetCurrentSampleRate(void);    /* Hz */
int32_t ASIOCHAN_CALL GetInputChannelCount(void);
int32_t ASIOCHAN_CALL GetOutputChannelCount(void);
int32_t ASIOCHAN_CALL GetInputLatency(void);  /* frames */
int32_t ASIOCHAN_CALL GetOutputLatency(void); /* frames */

/* ---- Run start and finish ---------------------------------------------------------------- */

/* Drops the playback buffers and captures of the device's channels left from before,
 * creates one driver buffer pair per channel (GetBufferSizePreferred frames),
 * registers the callbacks, learns the sample widths and latencies and starts the
 * driver. Samples move as raw bytes in the driver's own format (ASIOGetChannelInfo's
 * type). A driver that breaks its contract is survived:
 *   - a direction none of whose channels names a type with a width gets a width of 0
 *     (no bytes move, capture cannot be armed), whatever an earlier driver reported;
 *   - a channel whose width differs from its direction's (the last channel that names
 *     a width decides) is left alone;
 *   - a period size of 0 or less, or one whose byte count does not fit 32 bits, makes
 *     every period do nothing; so does a callback with a buffer index other than 0 or
 *     1, or one made while no run is prepared; a half-buffer left null is skipped.
 * Returns:      the driver's answer to the start (ASIOCHAN_OK on success);
 *               ASIOCHAN_NOT_PRESENT with no driver loaded; ASIOCHAN_DRIVER_STUCK when a
 *               period of the run before is still inside the driver after 2 s, the
 *               bound of the whole call (then no
 *               buffer is disposed of or made and the driver is not started), and
 *               while a Finish or Prepare answered it, until a Finish succeeds or
 *               another driver is loaded. An open stream is closed.
 * Thread:       lifecycle.
 * Out of order: a run still prepared is finished first (as Finish: its queued buffers
 *               and captures are dropped). Before Initialize the driver is asked for
 *               buffers of 0 frames, which a driver refuses: no run is prepared, no period
 *               is processed, and the answer is still the start's. When the start
 *               fails after the buffers were made, the run is prepared: Finish it. */
int32_t ASIOCHAN_CALL Prepare(void);

/* Stops playback and capture (as StopPlayback and StopCapture: streams end too), stops the driver,
 * disposes of its buffers and frees the device's channels. From then on no callback
 * of the driver touches anything, even when its stop failed. Does not stop the file
 * players: stop them first (see MultipleChanelPlayStart).
 * Returns:      the driver's answer to the stop, or to the disposal when the stop
 *               succeeded (the buffers are kept when it failed); ASIOCHAN_NOT_PRESENT
 *               with no driver loaded; ASIOCHAN_DRIVER_STUCK when a period is still
 *               inside the driver (held in its output-ready call, or anywhere in the
 *               library) 2 s after the call began, however many things it took back:
 *               the buffers are then kept, Initialize and Prepare answer the same code,
 *               and a later Finish, once the period has left, disposes of them and
 *               recovers the driver (answering as usual). An open stream ends and stays
 *               readable until CloseStream.
 * Thread:       lifecycle.
 * Out of order: without a prepared run, or twice, it still asks the driver to stop
 *               (and dispose) and answers what the driver says. */
int32_t ASIOCHAN_CALL Finish(void);

/* ---- What the driver asks for ------------------------------------------------------------
 * A driver tells the host, on a thread of its own, when something changed under a
 * run. The library answers it as it always did, notes what it said, and reports it
 * here; acting on it is the application's decision.
 *
 * ASIOCHAN_REQUEST_RESET        the driver asks to be restarted, typically because its
 *                               period size or format changed. From that moment until
 *                               the next Prepare no audio moves: every output the run
 *                               serves plays silence, captures and queued playback
 *                               stay where they were, and the stream ends (its
 *                               reader gets what was recorded before). Do: Finish, Initialize (it reads the
 *                               new sizes), Prepare, then queue the playback and arm
 *                               the captures again. What a capture held so far stays in
 *                               its buffer.
 * ASIOCHAN_REQUEST_RESYNC       the driver lost its timing (dropped periods, say); the
 *                               stream goes on. Worth a note in a log.
 * ASIOCHAN_REQUEST_LATENCIES    the driver's latencies changed; the stream goes on.
 *                               GetInputLatency and GetOutputLatency keep what the last
 *                               Prepare read: Prepare again to read the new ones.
 * ASIOCHAN_REQUEST_SAMPLE_RATE  the driver's sample rate changed; the stream goes on.
 *                               GetCurrentSampleRate keeps what was last read: Finish,
 *                               Initialize and Prepare to run at the new rate.
 * ASIOCHAN_REQUEST_SKIPPED_PERIODS
 *                               not asked by the driver but seen by the library: the
 *                               driver skipped periods since the last read (see
 *                               GetSkippedPeriods); the stream goes on with gaps. */
#define ASIOCHAN_REQUEST_RESET 1u
#define ASIOCHAN_REQUEST_RESYNC 2u
#define ASIOCHAN_REQUEST_LATENCIES 4u
#define ASIOCHAN_REQUEST_SAMPLE_RATE 8u
#define ASIOCHAN_REQUEST_SKIPPED_PERIODS 16u

/* What the driver asked for since the last call, then clears it. Poll it while a run
 * streams.
 * Returns:      the ASIOCHAN_REQUEST_* bits; 0 when nothing was asked.
 * Thread:       any.
 * Out of order: Prepare clears the bits; what the driver asks while Prepare creates
 *               its buffers and starts it belongs to the new run. With no driver, 0. */
uint32_t ASIOCHAN_CALL GetDriverRequests(void);

/* The periods processed since the last Prepare, wrapping at 2^32. Periods held after
 * a reset request are not counted, so this is also the number of periods that moved
 * audio. A count that stops rising while the run streams, with no reset asked for,
 * means the driver stopped delivering periods (its device was unplugged, its audio
 * server ended): Finish and report it.
 * Returns:      the count; 0 while no run is prepared (before Prepare, after Finish).
 * Thread:       any.
 * Out of order: 0 before the first Prepare, with no driver, after a Prepare that made
 *               no buffers, and from Finish (or releaseAsioDriver, or a loadAsioDriver
 *               that finishes the run) to the next Prepare, which starts again at 0.
 *               From a reset request (ASIOCHAN_REQUEST_RESET) to the next Prepare the
 *               count stands still.
 * A running stream watches the same count: no period for max(1 s, 8 periods) is a stall,
 * told once to its reader and its writer (ASIOCHAN_STREAM_EVENT_STALL), and told again
 * only after periods came back and stopped again. */
uint32_t ASIOCHAN_CALL GetPeriodCount(void);

/* The periods the driver skipped since the last Prepare, wrapping at 2^32. A driver
 * that falls behind (an overloaded machine) lets periods pass without calling the
 * library: their audio is gone in both directions, and GetPeriodCount does not see
 * them. The library tells them from the sample positions the driver gives with each
 * period: a step of more than one period between two periods skipped step / period
 * size - 1 of them (rounded down); a step of 0 or backwards counts as one, since the
 * position, and so the stream, cannot be trusted. Captures and playback are not
 * changed by a skip: a capture goes on with the next period, so it lacks the skipped
 * periods' input, and playback goes on where it was, so the device did not play it
 * during them (a stream counts them in its positions and tells them as a gap). A measurement made while the count rose is not whole:
 * repeat it (read the count before and after, or poll
 * ASIOCHAN_REQUEST_SKIPPED_PERIODS). A driver that gives no valid sample position
 * never counts anything: this stays 0 with it, skipped periods or not.
 * Returns:      the count; 0 before the first Prepare.
 * Thread:       any.
 * Out of order: nothing is counted from a reset request (ASIOCHAN_REQUEST_RESET) to
 *               the next Prepare; Prepare starts the count again at 0 (a skip is never
 *               seen across it); Finish and releaseAsioDriver keep the count of the
 *               run until the next Prepare. */
uint32_t ASIOCHAN_CALL GetSkippedPeriods(void);

/* ---- Capture ----------------------------------------------------------------------------- */

/* Arms input `channel` to record `byteLength` bytes into `buffer`, zeroed first, from
 * the first period in which capture runs (StartCapture). Whole samples of the input
 * width are recorded; a tail shorter than one stays 0. On completion the library's
 * thread writes the buffer and the library's own copy of the samples to
 * "D:\buffer_debug_<n>_output.dat" and "D:\buffer_debug_<n>_internal.dat" (on Linux
 * in the folder ASIOCHAN_DUMP_DIR names, see Linux above), a few
 * milliseconds after the last period (a file that cannot be opened is skipped; without
 * memory for the copy the capture goes on and the internal file comes out empty); the
 * channel reads done only once both files are closed. `buffer` must stay valid until
 * IsPortCaptureRunning answers 0, or StopCapture, Prepare or Finish returns; nothing
 * reads or writes it after that. (Should a stop's wait for a period in progress give
 * up, the channel reads armed until that period is done: wait for
 * IsPortCaptureRunning 0 then.) A channel that completed and whose files are still
 * being written counts as done here: the files are written first, then it is armed.
 * Returns:      ASIOCHAN_OK; ASIOCHAN_INVALID_PARAMETER for a null buffer, a negative
 *               length (SetPlayBuffer answers ASIOCHAN_NO_MEMORY for one) or a channel
 *               above 63; ASIOCHAN_NOT_PRESENT while the channel is armed, the
 *               stream's, or not yet freed (below); ASIOCHAN_INVALID_MODE while no
 *               input sample width is known.
 * Thread:       any.
 * Out of order: a channel not freed since load answers ASIOCHAN_NOT_PRESENT (see
 *               State at load). A freed channel answers ASIOCHAN_INVALID_MODE until a
 *               Prepare has created buffers with an input width (so before the first
 *               Prepare, and when the driver's inputs name no type with a width). A
 *               channel armed while no run is prepared records nothing; the next
 *               Prepare drops it. One at or above the input count has no driver
 *               buffer: it completes with zeros. */
int32_t ASIOCHAN_CALL SetCaptureBuffer(void* buffer, int32_t byteLength, uint32_t channel);

/* Arms `count` channels in array order and then starts capture (as StartCapture).
 * Unlike SetCaptureBuffer it takes over a channel that is still armed (its capture
 * ends there, without a dump), zeroes only the first byte of each buffer and keeps no
 * copy (the internal dump file comes out empty).
 * Returns:      ASIOCHAN_OK, also for a count of 0 or less; ASIOCHAN_INVALID_PARAMETER
 *               for null `requests`, or at the first entry with a channel above 63, a
 *               null buffer or a negative length; ASIOCHAN_INVALID_MODE, with nothing
 *               armed, while no input sample width is known; ASIOCHAN_NOT_PRESENT, with
 *               nothing armed, when an entry names one of the stream's inputs. After an error the earlier
 *               entries stay armed and capture is not started.
 * Thread:       any.
 * Out of order: arms any channel 0..63, freed or not; as SetCaptureBuffer otherwise. */
int32_t ASIOCHAN_CALL CaptureBuff(const CaptureRequest* requests, int32_t count);

/* Starts capture: armed channels record from the next period on. Capture stops by
 * itself at the end of a period in which no channel is left recording.
 * Returns:      nothing.
 * Thread:       any.
 * Out of order: before Prepare it has no effect (Prepare clears it); with nothing
 *               armed, capture stops again at the next period. */
void ASIOCHAN_CALL StartCapture(void);

/* Abandons every capture: all 64 input channels are freed, their buffers keep what was
 * captured so far, no dump is written and the library's copies are released. A channel
 * that had already completed keeps its dump: if its files are still being written,
 * they are written before StopCapture returns (so do Prepare, Finish and
 * releaseAsioDriver). The stream is left alone.
 * Returns:      nothing.
 * Thread:       any.
 * Out of order: while capture is not running it frees no armed channel (it finishes
 *               such pending dumps): channels armed but not started stay armed. */
void ASIOCHAN_CALL StopCapture(void);

/* Tells whether capture runs.
 * Returns:      1 from StartCapture (or CaptureBuff, StartCaptureAndPlayback) until the
 *               end of a period with no channel left recording, StopCapture, Prepare or
 *               Finish, and while a completed channel's dump files are not yet written;
 *               else 0. The stream does not count.
 * Thread:       any.
 * Out of order: 1 after a StartCapture made while no run is prepared, until Prepare. */
uint8_t ASIOCHAN_CALL IsCaptureRunning(void);

/* Tells whether input `channel` is armed (recording or waiting for StartCapture) or the
 * stream's.
 * Returns:      1 while armed, and after its last period until both of its dump files
 *               are written and closed; 1 while the stream holds the input (OpenStream
 *               to CloseStream); 0 once done
 *               (its files complete) or freed, and for channels above 63.
 * Thread:       any.
 * Out of order: 1 for a channel not freed since load (see State at load). */
uint8_t ASIOCHAN_CALL IsPortCaptureRunning(uint32_t channel);

/* Starts capture and playback (as StartCapture and StartPlayback) in one step: the
 * first period that plays the playback buffers is the first that records the captures
 * and streams, whatever the driver's thread does meanwhile.
 * Returns:      nothing.
 * Thread:       any.
 * Out of order: before Prepare it has no effect (Prepare clears it); a direction with
 *               nothing to do stops again at the end of the next period. */
void ASIOCHAN_CALL StartCaptureAndPlayback(void);

/* ---- Playback ---------------------------------------------------------------------------- */

/* Copies `byteLength` bytes of output `channel`'s samples (the driver's output format).
 * On an idle channel they become its playing buffer (heard from the next period while
 * playback runs); otherwise they are queued to follow the playing buffer without a
 * gap. The caller's buffer may be reused as soon as the call returns.
 * Returns:      ASIOCHAN_OK; ASIOCHAN_INVALID_PARAMETER for null data or a channel
 *               above 63; ASIOCHAN_INVALID_MODE while a buffer is already queued
 *               (IsCanSendNextPlaybackBuffer 0), for the second of two threads queueing
 *               at once, and when a channel falling idle does not settle within 2 s;
 *               ASIOCHAN_NO_MEMORY without memory for the copy, and for a negative
 *               length (where SetCaptureBuffer and CaptureBuff answer
 *               ASIOCHAN_INVALID_PARAMETER; kept as it always was).
 * Thread:       any; one feeding thread per channel.
 * Out of order: buffers handed over while no run is prepared are kept but not played;
 *               the next Prepare drops them. Until the first Prepare or StopPlayback
 *               only channel 0 takes one (queued); the others answer
 *               ASIOCHAN_INVALID_MODE (see State at load). A channel at or above the
 *               output count has no driver buffer: what it is given is never heard. */
int32_t ASIOCHAN_CALL SetPlayBuffer(const void* data, int32_t byteLength, uint32_t channel);

/* Does nothing.
 * Returns:      ASIOCHAN_OK.
 * Thread:       any.
 * Out of order: the same at any time. */
int32_t ASIOCHAN_CALL PlayBuff(void);

/* Starts (or resumes) playing every channel that holds a buffer, from the next period.
 * Playback stops by itself at the end of a period in which no channel holds a buffer:
 * call it again once every channel has run dry (IsPortPlaybackRunning 0).
 * Returns:      nothing.
 * Thread:       any.
 * Out of order: before Prepare it has no effect (Prepare clears it). */
void ASIOCHAN_CALL StartPlayback(void);

/* Stops playback: every channel, the file players' too, drops its buffers and falls
 * idle (a file player goes on with its next block), and IsCanSendNextPlaybackBuffer
 * answers 1 on all 64 channels.
 * Returns:      nothing.
 * Thread:       any.
 * Out of order: while playback is not running only the IsCanSendNextPlaybackBuffer
 *               flags change: buffers stay, and a queued one is replaced by the next
 *               SetPlayBuffer on its channel. */
void ASIOCHAN_CALL StopPlayback(void);

/* Tells whether a further buffer may be queued on output `channel`.
 * Returns:      1 when it may; 0 while one is queued, and for channels above 63.
 * Thread:       any.
 * Out of order: until the first Prepare or StopPlayback, 1 only for channel 0 (see
 *               State at load). */
uint8_t ASIOCHAN_CALL IsCanSendNextPlaybackBuffer(uint32_t channel);

/* Tells whether output `channel` holds a buffer (playing or waiting for StartPlayback).
 * Returns:      1 while it does; 0 when idle, and for channels above 63.
 * Thread:       any.
 * Out of order: 1 for a channel not reset since load (see State at load). */
uint8_t ASIOCHAN_CALL IsPortPlaybackRunning(uint32_t channel);

/* ---- Streams -----------------------------------------------------------------------------
 * A stream plays and records any channels of the prepared run for any length, read and
 * written like a file: interleaved frames in the driver's own bytes, as 32-bit integers
 * or as floats, each block with its position and what happened just before it.
 *
 *   AsiochanStreamConfig c = {sizeof c, ASIOCHAN_STREAM_FLOAT32, 2, 2};
 *   c.inputs[0] = 0; c.inputs[1] = 1;          // record inputs 0 and 1
 *   c.outputs[0] = 0; c.outputs[1] = 1;        // play on outputs 0 and 1
 *   float out[2 * 256], in[2 * 256];
 *   AsiochanStreamBlock b = {sizeof b};
 *   AsiochanStreamState s = {sizeof s};
 *   int64_t done = 0, written = 0, ahead;
 *   int gaps = 0;
 *   if (OpenStream(&c) != ASIOCHAN_OK) return;
 *   GetStreamState(&s);                         // s.ringFrames: the ring's length
 *   ahead = s.ringFrames / 2;                   // the outputs' lead: half the ring,
 *   if (ahead < 4 * GetBufferSizePreferred())   // and at least four periods
 *       ahead = 4 * GetBufferSizePreferred();
 *   while (written < ahead) {                   // the prefill: played first
 *       fill(out, 256);
 *       int32_t m = WriteStream(out, 256, 0, &b);
 *       if (m <= 0) break;
 *       written += m;
 *   }
 *   StartStream();
 *   while (done < 48000 * 10) {
 *       int32_t n = ReadStream(in, 256, 1000, &b);
 *       if (n <= 0) break;                      // nothing in 1 s, or ASIOCHAN_STREAM_ENDED
 *       if (b.lost) gaps++;                     // frames lost just before b.position
 *       keep(in, n);                            // frame 0 of `in` is at b.position
 *       done += n;
 *       while (written < done + ahead) {        // keep the lead: the ring never runs dry
 *           fill(out, 256);                     // (fill goes on from what was taken)
 *           int32_t m = WriteStream(out, 256, 1000, &b);
 *           if (m <= 0) break;
 *           if (b.lost) gaps++;                 // silence played before b.position
 *           written += m;
 *       }
 *   }
 *   StopStream();
 *   CloseStream();                              // gaps != 0: the recording has holes
 *
 * There is at most one stream, and it belongs to the prepared run as the channels do: no
 * handle. Its channels are the stream's from OpenStream to CloseStream: they read busy
 * (IsPortCaptureRunning, IsPortPlaybackRunning 1), and CaptureBuff, SetCaptureBuffer,
 * SetPlayBuffer and the players' starts answer ASIOCHAN_NOT_PRESENT (0 for the players)
 * on them; StopCapture and StopPlayback leave the stream alone.
 *
 * Positions count the device's frames from the stream's start: frame k of the recording
 * and frame k of the playback pass through the driver in the same period. Periods the
 * driver skipped count (where it gives valid sample positions). A write is told where its
 * first frame will play as the device stands at the call; periods skipped after that
 * cannot be foreseen: an event's frames shift every frame told at or after its position. Each direction has a
 * ring of ringFrames frames in the library's memory; a period moves the driver's bytes
 * between its buffers and the rings and never waits. A full input ring drops the newest
 * frames; an empty output ring plays silence (underrun). A read never spans a gap: it
 * moves the frames before it, and the next block tells the gap in `lost` (inputs: frames
 * dropped or skipped just before the block's first frame; outputs: frames of silence
 * played, or skipped, since the last block, by which the frames written play later).
 * Events (the ASIOCHAN_REQUEST_* bits below, overflow, underrun, stall, end) come to the
 * reader and to the writer, each once, in the blocks of their calls, the end last. Each
 * keeps up to 64 events unread; when they are full the newest ordinary event is dropped
 * and counted in `eventsLost` (the unread ones stay). A stall and the end are never dropped.
 * An event comes in the first block after the period that made it, a gap's `lost` in the
 * block of the first frame after the gap: an event may come one block before the block
 * whose `lost` it explains.
 *
 * Positions and latencies: positions count the frames passing through the driver's
 * buffers, not the converters. An output frame at position p leaves the device about
 * GetOutputLatency frames after the driver took it, and an input frame at position p
 * entered about GetInputLatency frames before; so on a loop from an output to an input
 * the frame written at position p is read back at p + d, where d, the loop delay the
 * stream measures, should be near GetInputLatency + GetOutputLatency plus whatever the
 * loop itself adds. The latencies are the driver's own figures (often off by a period or
 * a converter's delay): where the delay matters, measure it on a loop.
 *
 * Formats: ASIOCHAN_STREAM_NATIVE moves the driver's own bytes (all channels of a
 * direction must then have one type); ASIOCHAN_STREAM_INT32 gives every type as a signed
 * 32-bit integer of full scale the whole range (low-justified types shifted up);
 * ASIOCHAN_STREAM_FLOAT32 as a float of full scale +-1.0. Conversion happens on the
 * calling thread: an integer v of full-scale 32-bit value becomes v x 2^-31; a float f
 * written to an integer type of b significant bits becomes f x 2^(b-1) rounded to
 * nearest at those bits, clipped, NaN as 0; a float read from or written to a Float64
 * channel is clipped to +-1.0, NaN as 0. FLOAT32 on a Float32 channel and INT32 on an
 * Int32 channel are byte copies.
 *
 * All structs hold 32- and 64-bit integers and bytes only, 64-bit fields at offsets that
 * are multiples of 8: one layout in 32- and 64-bit code. The caller sets `size`; the
 * library fills at most that many bytes and writes back how many it filled. */

#define ASIOCHAN_STREAM_NATIVE 0  /* the driver's own bytes */
#define ASIOCHAN_STREAM_INT32 1   /* int32_t, full scale the whole 32-bit range */
#define ASIOCHAN_STREAM_FLOAT32 2 /* float, full scale +-1.0 */

/* Event codes besides the ASIOCHAN_REQUEST_* bits (which the driver's notices give;
 * ASIOCHAN_REQUEST_SKIPPED_PERIODS: the driver skipped `frames` frames at `position`). */
#define ASIOCHAN_STREAM_EVENT_OVERFLOW 0x100u /* input ring full: `frames` dropped from `position` */
#define ASIOCHAN_STREAM_EVENT_UNDERRUN 0x200u /* output ring empty: `frames` of silence from `position` */
#define ASIOCHAN_STREAM_EVENT_END 0x400u      /* the stream ended; `position`: its first frame not moved;
                                               * the last event of the stream */
#define ASIOCHAN_STREAM_EVENT_STALL 0x800u    /* no period came for the stall time (see GetPeriodCount);
                                               * `position`: where the stream stood; the stream stays open */

/* AsiochanStreamState.flags */
#define ASIOCHAN_STREAM_OPEN 1u    /* a stream is open (OpenStream until CloseStream) */
#define ASIOCHAN_STREAM_RUNNING 2u /* started and not ended */
#define ASIOCHAN_STREAM_ENDED_FLAG 4u /* ended: stopped, reset by the driver, or its run finished */

#define ASIOCHAN_STREAM_DEFAULT_RING_MS 1000 /* ringFrames 0: one second at the run's rate */
#define ASIOCHAN_STREAM_MAX_RING_MS 60000    /* the largest ring: 60 s at the run's rate */
#define ASIOCHAN_STREAM_BLOCK_EVENTS 8       /* events one block holds */

/* What OpenStream and PlayAndRecord take. 152 bytes. */
typedef struct AsiochanStreamConfig {
    uint32_t size;        /* set by the caller: sizeof(AsiochanStreamConfig), 152 */
    int32_t format;       /* ASIOCHAN_STREAM_NATIVE, _INT32 or _FLOAT32 */
    int32_t inputCount;   /* inputs recorded, 0..64 */
    int32_t outputCount;  /* outputs played, 0..64 */
    int32_t ringFrames;   /* frames per direction's ring; 0: the default (1 s) */
    int32_t reserved;     /* 0 */
    uint8_t inputs[64];   /* input channel numbers, in the order a frame holds them */
    uint8_t outputs[64];  /* output channel numbers, in the order a frame holds them */
} AsiochanStreamConfig;

/* One event. 16 bytes. */
typedef struct AsiochanStreamEvent {
    uint32_t code;     /* an ASIOCHAN_REQUEST_* bit or an ASIOCHAN_STREAM_EVENT_* code */
    uint32_t frames;   /* frames it concerns (overflow, underrun, skipped); else 0 */
    uint64_t position; /* the stream position at which it happened */
} AsiochanStreamEvent;

/* What ReadStream and WriteStream moved. 160 bytes. */
typedef struct AsiochanStreamBlock {
    uint32_t size;       /* set by the caller: sizeof(AsiochanStreamBlock), 160 */
    uint32_t eventCount; /* events filled in `events` */
    uint64_t position;   /* stream position of the first frame moved */
    uint64_t lost;       /* frames lost just before it (see above) */
    uint32_t eventsLost; /* events dropped since the last block (the queue of 64 was full:
                          * the newest is dropped); events beyond 8 wait for the next block */
    uint32_t reserved;   /* 0 */
    AsiochanStreamEvent events[ASIOCHAN_STREAM_BLOCK_EVENTS];
} AsiochanStreamBlock;

/* The stream as one consistent set. 80 bytes. */
typedef struct AsiochanStreamState {
    uint32_t size;          /* set by the caller: sizeof(AsiochanStreamState), 80 */
    uint32_t flags;         /* ASIOCHAN_STREAM_OPEN, _RUNNING, _ENDED_FLAG */
    uint32_t readable;      /* frames the next ReadStream would move now (up to the next gap) */
    uint32_t writable;      /* frames WriteStream would take now */
    uint64_t position;      /* frames the device has passed since the start */
    uint64_t recorded;      /* frames put into the input ring */
    uint64_t dropped;       /* input frames dropped on a full ring (skipped ones not counted) */
    uint64_t played;        /* written frames the device has played */
    uint64_t underrun;      /* frames of silence played on an empty output ring */
    int32_t inputLatency;   /* the driver's, frames */
    int32_t outputLatency;  /* the driver's, frames */
    uint32_t eventsPending; /* events not yet delivered to the reader (or, without inputs, the writer) */
    uint32_t ringFrames;    /* frames per direction's ring */
    uint32_t reserved[2];   /* 0 */
} AsiochanStreamState;

/* Opens the stream on the prepared run: claims its channels, allocates its rings (on
 * the calling thread, touched, locked in memory where the system allows) and waits for
 * StartStream. Positions start at 0 in each stream.
 * Returns:      ASIOCHAN_OK; ASIOCHAN_INVALID_PARAMETER for a null config, a `size`
 *               below 152, an unknown format, a count below 0 or above 64, a channel
 *               at or above the driver's count or named twice, a channel type without
 *               a width, a channel whose sample width differs from its direction's in
 *               the run (in every format: the library moves a direction at one width),
 *               NATIVE with mixed types in one direction, no channel at all, a nonzero
 *               `reserved`, a ringFrames below 0, above 60 s, or (not 0) below two
 *               periods; ASIOCHAN_INVALID_MODE while no run is prepared or a stream is
 *               open and has not ended, or is PlayAndRecord's (an ended one, still
 *               readable, is closed here first); ASIOCHAN_NOT_PRESENT for a channel the
 *               channel API or a player holds (a started player from its start on);
 *               ASIOCHAN_NO_MEMORY when the rings cannot be had.
 * Thread:       any; waits for a lifecycle call under way as the channel calls do.
 * Out of order: after a reset request the stream opens but never starts moving audio:
 *               its start ends it at once (Prepare again). */
int32_t ASIOCHAN_CALL OpenStream(const AsiochanStreamConfig* config);

/* Starts the stream: the next period is position 0 in both directions (playback frame
 * k and recording frame k pass through the driver in the same period). Frames written
 * before the start are the first played; an empty output ring plays silence, counted as
 * underrun from position 0.
 * Returns:      ASIOCHAN_OK; ASIOCHAN_INVALID_MODE without an open stream, when it
 *               was started before (a stopped stream does not start again), or when it
 *               is PlayAndRecord's.
 * Thread:       any.
 * Out of order: with a reset request pending the stream ends at its start. */
int32_t ASIOCHAN_CALL StartStream(void);

/* Reads up to `count` frames of the stream's inputs, interleaved in the config's input
 * order and format, into `frames`, waiting up to `timeoutMs` for them (0: what is there
 * now; -1: until `count` are read, the stream ends, or a stall not yet told to the
 * reader comes: it then returns what it read, 0 if nothing, with the stall in its
 * block, and a later call waits again). Stops before a gap; see `lost`. A reset
 * request ends the stream at once, with or without a period after it.
 * `block` (may be null) tells the position of the first frame read, the gap before it
 * and the events since the reader's last block.
 * Returns:      the frames read (0 when the time ran out with none); ASIOCHAN_STREAM_ENDED
 *               once the stream ended and every frame recorded before its end was read;
 *               ASIOCHAN_INVALID_PARAMETER for null frames with a count above 0, a
 *               negative count, a timeout below -1 or a block whose size is below 160;
 *               ASIOCHAN_INVALID_MODE without an open stream with inputs, while
 *               another ReadStream runs (nothing is moved), and on PlayAndRecord's stream.
 * Thread:       any; one reader at a time. Holds nothing while it waits: StopStream,
 *               CloseStream, Finish or Prepare on another thread make it return within
 *               about 10 ms.
 * Out of order: before StartStream it waits (or returns 0) like any read. */
int32_t ASIOCHAN_CALL ReadStream(void* frames, int32_t count, int32_t timeoutMs, AsiochanStreamBlock* block);

/* Writes up to `count` frames for the stream's outputs, interleaved in the config's
 * output order and format, waiting up to `timeoutMs` for room (0, -1 as ReadStream, a
 * stall included). Frames written before StartStream prefill the ring and never wait.
 * `block` (may be null) tells the position at which the first frame plays (after an
 * underrun still going on: the position of the next period) with `lost` the silence
 * played since the last block's frames, so that each block's position is the last one's
 * plus its frames plus `lost`; and the events since the writer's last block.
 * Returns:      the frames taken (0 when the time ran out with none); ASIOCHAN_STREAM_ENDED
 *               once the stream ended (at once: frames not yet played are dropped);
 *               ASIOCHAN_INVALID_PARAMETER as ReadStream; ASIOCHAN_INVALID_MODE without
 *               an open stream with outputs, while another WriteStream runs, and on
 *               PlayAndRecord's stream.
 * Thread:       any; one writer at a time, as ReadStream.
 * Out of order: as ReadStream. */
int32_t ASIOCHAN_CALL WriteStream(const void* frames, int32_t count, int32_t timeoutMs, AsiochanStreamBlock* block);

/* Copies the stream's state into `state`, one consistent set (the values of one moment
 * between two periods), and sets `size` to the bytes filled.
 * Returns:      ASIOCHAN_OK (all zeros, flags 0, without a stream);
 *               ASIOCHAN_INVALID_PARAMETER for a null `state` or a `size` below 80.
 * Thread:       any, any time; never waits.
 * Out of order: none. */
int32_t ASIOCHAN_CALL GetStreamState(AsiochanStreamState* state);

/* Stops the stream: both directions end at the end of the period in flight. What was
 * recorded stays readable; writes answer ASIOCHAN_STREAM_ENDED.
 * Returns:      ASIOCHAN_OK; ASIOCHAN_INVALID_MODE without an open stream.
 * Thread:       any; waits for a lifecycle call under way and for the period in flight.
 *               On PlayAndRecord's stream it ends that call early (as Ctrl+C would).
 * Out of order: a stream never started ends all the same; stopping twice is harmless. */
int32_t ASIOCHAN_CALL StopStream(void);

/* Stops the stream if it runs, frees its rings and hands its channels back. When a
 * period stayed inside the library past the wait the rings are left allocated (leaked)
 * rather than freed under it.
 * Returns:      ASIOCHAN_OK; ASIOCHAN_INVALID_MODE without an open stream, and while
 *               PlayAndRecord runs on it (StopStream ends that call).
 * Thread:       any; as StopStream. A ReadStream or WriteStream waiting on another
 *               thread (or when the driver is released or loaded anew) returns first,
 *               with the frames it had already moved; ASIOCHAN_STREAM_ENDED only when it
 *               had moved none.
 * Out of order: Finish ends the stream and leaves it readable until CloseStream, the
 *               next OpenStream, Prepare or the driver's release, which close it. */
int32_t ASIOCHAN_CALL CloseStream(void);

/* Plays and records in one call: opens a stream with `config`, writes `playFrames`
 * frames of `play`, starts, reads `recordFrames` frames into `record` (recording past
 * the playback plays silence), stops and closes. `timeoutMs` bounds the whole call
 * (-1: no bound). `state` (may be null) receives the stream's last state: its dropped
 * and underrun counts tell the gaps, eventsPending what was not read. Recording frame
 * k is stream position k: after an input gap (frames dropped on a full ring, periods
 * the driver skipped) the frames read later stay at their positions and the gap's
 * frames are left zero in `record`; position - recorded - dropped in `state` counts
 * the skipped ones. A stall (no period for the stall time, see GetPeriodCount) ends
 * the call, with or without a time bound: it stops and closes its stream and returns
 * the frames recorded so far; `state` then shows the stream ended.
 * Returns:      the frames of `record` filled, gaps included (fewer than recordFrames
 *               when the time ran out, the stream ended or stalled);
 *               any error OpenStream answers, and ASIOCHAN_INVALID_PARAMETER for a
 *               negative frame count, a null buffer with a count above 0, a timeout
 *               below -1, or a non-null `state` whose size is below 80 (checked
 *               before anything is opened). A config without inputs records nothing:
 *               the call returns 0 once everything written has played, whatever
 *               recordFrames asks, and leaves `record` untouched.
 * Thread:       any; the stream is the call's own from its start to its end: other
 *               threads' OpenStream, CloseStream, StartStream, ReadStream and WriteStream
 *               answer ASIOCHAN_INVALID_MODE meanwhile. StopStream from another thread
 *               ends the call early (as a binding's Ctrl+C or cancellation does), and so
 *               do Finish, Prepare and the driver's release: the call then returns the
 *               frames it recorded and closes its own stream (never a stream opened
 *               since by another thread).
 * Out of order: ASIOCHAN_INVALID_MODE while a stream is open. */
int32_t ASIOCHAN_CALL PlayAndRecord(const AsiochanStreamConfig* config, const void* play, int32_t playFrames,
                                    void* record, int32_t recordFrames, int32_t timeoutMs,
                                    AsiochanStreamState* state);

/* The layouts, checked wherever the header is compiled (C11 and C++11 or later). */
#if defined(__cplusplus) && __cplusplus >= 201103L
#define ASIOCHAN_LAYOUT_CHECK(c, m) static_assert(c, m)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define ASIOCHAN_LAYOUT_CHECK(c, m) _Static_assert(c, m)
#endif
#ifdef ASIOCHAN_LAYOUT_CHECK
#include <stddef.h>
ASIOCHAN_LAYOUT_CHECK(sizeof(AsiochanStreamConfig) == 152 && offsetof(AsiochanStreamConfig, ringFrames) == 16 &&
                          offsetof(AsiochanStreamConfig, inputs) == 24 && offsetof(AsiochanStreamConfig, outputs) == 88,
                      "AsiochanStreamConfig layout");
ASIOCHAN_LAYOUT_CHECK(sizeof(AsiochanStreamEvent) == 16 && offsetof(AsiochanStreamEvent, position) == 8,
                      "AsiochanStreamEvent layout");
ASIOCHAN_LAYOUT_CHECK(sizeof(AsiochanStreamBlock) == 160 && offsetof(AsiochanStreamBlock, position) == 8 &&
                          offsetof(AsiochanStreamBlock, lost) == 16 && offsetof(AsiochanStreamBlock, eventsLost) == 24 &&
                          offsetof(AsiochanStreamBlock, events) == 32,
                      "AsiochanStreamBlock layout");
ASIOCHAN_LAYOUT_CHECK(sizeof(AsiochanStreamState) == 80 && offsetof(AsiochanStreamState, position) == 16 &&
                          offsetof(AsiochanStreamState, underrun) == 48 &&
                          offsetof(AsiochanStreamState, inputLatency) == 56 &&
                          offsetof(AsiochanStreamState, eventsPending) == 64 &&
                          offsetof(AsiochanStreamState, reserved) == 72,
                      "AsiochanStreamState layout");
#undef ASIOCHAN_LAYOUT_CHECK
#endif

/* ---- File players ------------------------------------------------------------------------
 * Each player streams the first channel of a PCM WAV file (8, 16 or 24 bits), or with
 * MultipleChanelPlayStartMapped one file channel per output, through SetPlayBuffer and
 * StartPlayback, once or in a loop, in blocks of two seconds, on a worker thread of
 * its own; a start answering 1 comes a moment before the player reads in play (see
 * IsMultipleInPlay). Each output channel gets the samples in its own sample type (as
 * ASIOGetChannelInfo tells it at Prepare), any type with a width (see Sample types).
 * A file sample s of b bits (after the volume, clipped to the
 * b-bit range; 8-bit files count as 16-bit) becomes the 32-bit value s << (32 - b),
 * laid out in the type: the integer types keep its top bits, the floats hold it
 * divided by 2^31. On an Int32LSB output (type 18) the bytes are that value. Blocks are
 * two seconds of samples in each channel's width. There is no resampling: a file of
 * another rate than the driver's plays at the driver's. A RIFF/WAVE file, and an RF64
 * file ("RF64" ... "WAVE", sizes past 4 GiB), is read by its chunks: the format from
 * the first "fmt " chunk wherever it stands, the samples from the first "data" chunk
 * after it; LIST/INFO, bext, fact, JUNK and any other chunks are skipped by their
 * sizes, whatever bytes they hold (earlier versions took the first byte 'd' after the
 * format fields for the data chunk, and so played header text as samples or refused
 * the file). In an RF64 file whose data chunk's size reads 0xFFFFFFFF the size is the
 * 64-bit one of its ds64 chunk (without a ds64 chunk of 28 bytes or more, the
 * 0xFFFFFFFF stands). Extensible-format files play by their container width. A file
 * that is not RIFF/WAVE or RF64, or whose chunks do not lead to a format chunk of 16
 * bytes or more and a data chunk after it within the file's first 2 GiB, is read as
 * before: the format at fixed offsets 20 to 35, the data chunk at the first byte 'd'
 * from offset 36 on. A data chunk longer than the file whose size is 0x7FFF0000 or
 * more (the placeholders that programs streaming to a pipe leave: 0xFFFFFFFF,
 * 0x7FFFF000) plays to the end of the file; a smaller one (a file cut short) plays
 * to its stated length, silent past the end. Earlier versions played every data
 * chunk to its stated length, so a streamed file stayed in play, silent, for hours
 * after its last sample. File names are ANSI paths of at
 * most 199 bytes; a file that does not read prints the reader's message on standard
 * output. A file removed or locked while it loops ends the player after the pass under
 * way. Finish does not stop a player: it waits, silent, and goes on in the next run
 * when that run gives each of its channels the sample type it had (the blocks it had
 * queued are dropped); a run that does not (another driver, other types, fewer
 * outputs) ends the player as after its last pass. Stop the players before Finish. */

/* Plays `path` on every output channel whose bit is set in `mask` (channels 0..31).
 * A start right after a stop waits (at most 3 s) for the stopped worker to end.
 * Returns:      1 when the worker started (IsMultipleInPlay reads 1 only a moment
 *               later: see there); 0 when no run is prepared, while this player is in
 *               play or starting on another thread, when the mask is empty or names a
 *               channel at or above the output count or one whose type has no width
 *               (DSD, unassigned codes) or whose width differs from the other outputs'
 *               (the periods skip such a channel), while an earlier worker still holds
 *               its channels or has not ended after the wait, for a null, too long or
 *               unplayable file name (missing, a folder, not 8/16/24 bits, rate 0), or
 *               when no thread can be made.
 * Thread:       any.
 * Out of order: 0 before Prepare and after Finish, changing nothing. */
uint8_t ASIOCHAN_CALL MultipleChanelPlayStart(const char* path, uint32_t mask, uint8_t loop);

/* Plays `path` as MultipleChanelPlayStart does, but file channel i on the output of the
 * i-th lowest bit set in `mask`: mask 0x5 plays a stereo file's left channel on output
 * 0 and its right channel on output 2. A mono file plays on every output of the mask;
 * file channels beyond the mask's bits are not played. The outputs follow the bits in
 * ascending order only: for another order, queue the channels with SetPlayBuffer. It
 * is the multi-channel player, started another way: IsMultipleInPlay,
 * MultipleChanelPlayStop and MultipleChanelSetVolume serve it, and it and
 * MultipleChanelPlayStart never play at once.
 * Returns:      1 when the worker started; 0 in every case MultipleChanelPlayStart
 *               answers 0, and for a file with more than one channel but fewer
 *               channels than bits set in `mask`.
 * Thread:       any.
 * Out of order: 0 before Prepare and after Finish, changing nothing. */
uint8_t ASIOCHAN_CALL MultipleChanelPlayStartMapped(const char* path, uint32_t mask, uint8_t loop);

/* Stops the multi-channel player, however it was started: IsMultipleInPlay answers 0
 * at once; the worker drops its channels' buffers (while playback runs) and ends within
 * moments.
 * Returns:      nothing.
 * Thread:       any.
 * Out of order: harmless when the player is not in play. */
void ASIOCHAN_CALL MultipleChanelPlayStop(void);

/* Sets the multi-channel player's gain (1.0 = unchanged, the value at load), applied to
 * the blocks converted from then on (those already handed over keep the old gain);
 * kept across starts.
 * Returns:      1 when taken; 0 for a negative, NaN or infinite value (nothing changes).
 * Thread:       any.
 * Out of order: taken at any time, also while the player is not in play. */
uint8_t ASIOCHAN_CALL MultipleChanelSetVolume(float volume);

/* Tells whether the multi-channel player is in play. A start answering 1 does not
 * raise it at once: the new worker first starts, reads the file's header and makes
 * its blocks. In that window this answers 0, as it does after the end, and a second
 * start answers 0; should the worker fail there (the file changed since the start
 * read it, no memory for the blocks), the player ends without ever reading 1, and a
 * stop made there may let it read 1 for a moment as the worker winds down. So to
 * wait for the end of a file, first wait (bounded) for 1, then for 0.
 * Returns:      1 from the moment its worker has read the file until about two
 *               seconds after its last block was queued, or until a stop; else 0.
 * Thread:       any.
 * Out of order: 0 before any start. */
uint8_t ASIOCHAN_CALL IsMultipleInPlay(void);

/* Plays `path` on output `channel`. A start right after a stop waits (at most 3 s) for
 * the stopped worker to end.
 * Returns:      1 when the worker started (IsSingleInPlay reads 1 only a moment later:
 *               see IsMultipleInPlay); 0 when no run is prepared, while this
 *               player is in play or starting on another thread, when the channel is
 *               at or above the output count or cannot be played (as for
 *               MultipleChanelPlayStart), while an earlier worker has not ended
 *               after the wait, for a null, too long or unplayable file name, or when
 *               no thread can be made.
 * Thread:       any.
 * Out of order: 0 before Prepare and after Finish, changing nothing. */
uint8_t ASIOCHAN_CALL SingleChanelPlayStart(const char* path, uint32_t channel, uint8_t loop);

/* Stops the single-channel player: IsSingleInPlay answers 0 at once; the worker drops
 * its channel's buffers (while playback runs) and ends within moments.
 * Returns:      nothing.
 * Thread:       any.
 * Out of order: harmless when the player is not in play. */
void ASIOCHAN_CALL SingleChanelPlayStop(void);

/* Sets the single-channel player's gain, as MultipleChanelSetVolume does for its own.
 * Returns:      1 when taken; 0 for a negative, NaN or infinite value (nothing changes).
 * Thread:       any.
 * Out of order: taken at any time, also while the player is not in play. */
uint8_t ASIOCHAN_CALL SingleChanelSetVolume(float volume);

/* Tells whether the single-channel player is in play, as IsMultipleInPlay does (with
 * the same window after a start answering 1).
 * Returns:      1 while in play; else 0.
 * Thread:       any.
 * Out of order: 0 before any start. */
uint8_t ASIOCHAN_CALL IsSingleInPlay(void);

#ifdef __cplusplus
}
#endif

#endif /* ASIOCHAN_H */
