/* A stand-in for the part of alsa-lib's sequencer API that krv calls, so that
 * the real krv binary can run its ALSA path where there is no /dev/snd/seq:
 * loaded with LD_PRELOAD, its functions take the place of alsa-lib's.
 *
 * The clients and ports krv finds come from a scene file, and what krv does
 * is written, with CLOCK_MONOTONIC times, to a record file that the tests
 * read. Set by the environment:
 *
 *   KRV_FAKE_ALSA_SCENE  the scene: one directive per line,
 *       port CLIENT:PORT CAPS TYPES CLIENT NAME|PORT NAME
 *           CAPS: letters r (read) w (write) R (subscribe read)
 *           W (subscribe write) x (no export), or -; TYPES: a comma list of
 *           midi gm synth synthesizer sample hardware software port
 *           application, or -
 *       refuse CLIENT:PORT ERRNO
 *           a subscription to the port fails with that error (EPERM,
 *           EBUSY...), and events sent to it unsubscribed fail with ENODEV,
 *           as a hardware port does whose device opens only for a subscriber
 *   KRV_FAKE_ALSA_RECORD the record: one line per call worth checking,
 *       "NS WHAT ...", NS nanoseconds on CLOCK_MONOTONIC
 *   KRV_FAKE_ALSA_LATER  once this file appears, its port lines join the
 *       scene, and a subscriber of the announce port 0:1 gets one
 *       PORT_START event for each ("announce" in the record when read), as
 *       when a synthesizer starts after krv; a line "quiet" in the file
 *       holds the events back, as a kernel slow to deliver them would
 *   KRV_FAKE_ALSA_FULL   while this file exists, every event sent is refused
 *       with the error it names (EAGAIN, ENOMEM or ENOSPC; EAGAIN if empty),
 *       as by a receiver that has no room
 *
 * krv's own client gets the first free number from 128 on. Every entry point
 * takes one lock: krv calls in from its command, clock and input threads. */
#define _GNU_SOURCE
#include <alsa/asoundlib.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

enum { kMaxPorts = 512, kNameSize = 64, kLineSize = 512 };

struct fake_port {
    int client;
    int port;
    unsigned caps;
    unsigned type;
    char client_name[kNameSize];
    char port_name[kNameSize];
    int refuse_errno;
    int subscribed;
    /* Which of krv's ports subscribed it. */
    int subscriber;
};

struct _snd_seq_query_subscribe {
    snd_seq_addr_t root;
    snd_seq_addr_t addr;
    int index;
};

struct _snd_seq {
    int wake[2];
};

struct _snd_seq_client_info {
    int client;
    char name[kNameSize];
};

struct _snd_seq_port_info {
    int client;
    int port;
    unsigned caps;
    unsigned type;
    char name[kNameSize];
};

static pthread_mutex_t gLock = PTHREAD_MUTEX_INITIALIZER;
static struct fake_port gPorts[kMaxPorts];
static int gPortCount;
static int gOwnClient = -1;
static char gOwnName[kNameSize] = "client";
static int gRecordFd = -1;
/* The announcements: who listens, and how many are waiting to be read. */
static int gAnnouncePort = -1;
static int gAnnouncesDue;
static int gWakeFd = -1;
static snd_seq_event_t gAnnounce;

static const struct {
    const char* name;
    int value;
} kErrors[] = {{"EAGAIN", EAGAIN}, {"ENOMEM", ENOMEM}, {"ENOSPC", ENOSPC}, {"EPERM", EPERM},
               {"EBUSY", EBUSY},   {"ENODEV", ENODEV}, {"ENXIO", ENXIO}};

static const struct {
    const char* name;
    unsigned bit;
} kTypes[] = {{"midi", SND_SEQ_PORT_TYPE_MIDI_GENERIC},
              {"gm", SND_SEQ_PORT_TYPE_MIDI_GM},
              {"synth", SND_SEQ_PORT_TYPE_SYNTH},
              {"synthesizer", SND_SEQ_PORT_TYPE_SYNTHESIZER},
              {"sample", SND_SEQ_PORT_TYPE_SAMPLE},
              {"hardware", SND_SEQ_PORT_TYPE_HARDWARE},
              {"software", SND_SEQ_PORT_TYPE_SOFTWARE},
              {"port", SND_SEQ_PORT_TYPE_PORT},
              {"application", SND_SEQ_PORT_TYPE_APPLICATION}};

static void fail(const char* what, const char* detail) {
    fprintf(stderr, "fake_alsa_seq: %s: %s\n", what, detail);
    abort();
}

static int error_by_name(const char* name) {
    for (size_t i = 0; i < sizeof kErrors / sizeof kErrors[0]; ++i) {
        if (strcmp(kErrors[i].name, name) == 0) {
            return kErrors[i].value;
        }
    }
    fail("unknown error name", name);
    return 0;
}

static unsigned parse_caps(const char* text) {
    unsigned caps = 0;
    for (; *text != '\0'; ++text) {
        caps |= *text == 'r'   ? SND_SEQ_PORT_CAP_READ
                : *text == 'w' ? SND_SEQ_PORT_CAP_WRITE
                : *text == 'R' ? SND_SEQ_PORT_CAP_SUBS_READ
                : *text == 'W' ? SND_SEQ_PORT_CAP_SUBS_WRITE
                : *text == 'x' ? SND_SEQ_PORT_CAP_NO_EXPORT
                               : 0;
    }
    return caps;
}

static unsigned parse_types(char* text) {
    unsigned type = 0;
    char* saved = NULL;
    for (char* word = strtok_r(text, ",", &saved); word != NULL;
         word = strtok_r(NULL, ",", &saved)) {
        size_t i = 0;
        while (i < sizeof kTypes / sizeof kTypes[0] && strcmp(kTypes[i].name, word) != 0) {
            ++i;
        }
        if (i < sizeof kTypes / sizeof kTypes[0]) {
            type |= kTypes[i].bit;
        } else if (strcmp(word, "-") != 0) {
            fail("unknown port type", word);
        }
    }
    return type;
}

static struct fake_port* find_port(int client, int port) {
    for (int i = 0; i < gPortCount; ++i) {
        if (gPorts[i].client == client && gPorts[i].port == port) {
            return &gPorts[i];
        }
    }
    return NULL;
}

static void parse_port(char* rest) {
    int client = 0, port = 0, used = 0;
    char caps[16], types[160];
    if (gPortCount == kMaxPorts ||
        sscanf(rest, "%d:%d %15s %159s %n", &client, &port, caps, types, &used) != 4) {
        fail("bad port line", rest);
    }
    struct fake_port* p = &gPorts[gPortCount++];
    memset(p, 0, sizeof *p);
    p->client = client;
    p->port = port;
    p->caps = parse_caps(caps);
    p->type = parse_types(types);
    char* names = rest + used;
    names[strcspn(names, "\n")] = '\0';
    char* bar = strchr(names, '|');
    if (bar == NULL) {
        fail("port line without client|port names", names);
    }
    *bar = '\0';
    snprintf(p->client_name, kNameSize, "%s", names);
    snprintf(p->port_name, kNameSize, "%s", bar + 1);
}

static void parse_refuse(const char* rest) {
    int client = 0, port = 0;
    char name[16];
    struct fake_port* p = NULL;
    if (sscanf(rest, "%d:%d %15s", &client, &port, name) != 3 ||
        (p = find_port(client, port)) == NULL) {
        fail("bad refuse line (ports come first)", rest);
    }
    p->refuse_errno = error_by_name(name);
}

static void load_scene(void) {
    const char* path = getenv("KRV_FAKE_ALSA_SCENE");
    FILE* scene = path != NULL ? fopen(path, "r") : NULL;
    if (scene == NULL) {
        fail("cannot read the scene (KRV_FAKE_ALSA_SCENE)", path != NULL ? path : "unset");
    }
    char line[kLineSize];
    gPortCount = 0;
    while (fgets(line, sizeof line, scene) != NULL) {
        if (strncmp(line, "port ", 5) == 0) {
            parse_port(line + 5);
        } else if (strncmp(line, "refuse ", 7) == 0) {
            parse_refuse(line + 7);
        } else if (line[0] != '#' && line[0] != '\n') {
            fail("unknown scene line", line);
        }
    }
    fclose(scene);
    gOwnClient = 128;
    for (int i = 0; i < gPortCount; ++i) {
        if (gPorts[i].client >= gOwnClient) {
            gOwnClient = gPorts[i].client + 1;
        }
    }
}

static void record(const char* format, ...) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[kLineSize];
    int length =
        snprintf(line, sizeof line, "%lld ", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    va_list args;
    va_start(args, format);
    length += vsnprintf(line + length, sizeof line - (size_t)length - 1, format, args);
    va_end(args);
    if (length > kLineSize - 2) {
        length = kLineSize - 2;
    }
    line[length++] = '\n';
    if (gRecordFd >= 0 && write(gRecordFd, line, (size_t)length) != length) {
        fail("cannot write the record", strerror(errno));
    }
}

/* 0 while the receiver has room, else the negative error it refuses with. */
static int full_status(void) {
    const char* path = getenv("KRV_FAKE_ALSA_FULL");
    int fd = path != NULL ? open(path, O_RDONLY) : -1;
    if (fd < 0) {
        return 0;
    }
    char name[16] = {0};
    ssize_t got = read(fd, name, sizeof name - 1);
    close(fd);
    if (got > 0) {
        name[strcspn(name, " \n")] = '\0';
    }
    return -(name[0] != '\0' ? error_by_name(name) : EAGAIN);
}

/* Watches for the later scene, once, on a thread of its own: announcements
 * come whenever the system has them. */
static void* watch_later(void* path) {
    while (access((const char*)path, F_OK) != 0) {
        usleep(10000);
    }
    pthread_mutex_lock(&gLock);
    FILE* later = fopen((const char*)path, "r");
    char line[kLineSize];
    int added = 0;
    int quiet = 0;
    while (later != NULL && fgets(line, sizeof line, later) != NULL) {
        if (strncmp(line, "port ", 5) == 0) {
            parse_port(line + 5);
            ++added;
        }
        quiet = quiet || strncmp(line, "quiet", 5) == 0;
    }
    if (later != NULL) {
        fclose(later);
    }
    record("later %d", added);
    if (gAnnouncePort >= 0 && gWakeFd >= 0 && added > 0 && !quiet) {
        gAnnouncesDue += added;
        const char wake = 1;
        if (write(gWakeFd, &wake, 1) != 1) {
            fail("cannot wake the input thread", strerror(errno));
        }
    }
    pthread_mutex_unlock(&gLock);
    return NULL;
}

int snd_lib_error_set_handler(snd_lib_error_handler_t handler) {
    (void)handler;
    return 0;
}

int snd_seq_open(snd_seq_t** handle, const char* name, int streams, int mode) {
    (void)name;
    (void)streams;
    pthread_mutex_lock(&gLock);
    load_scene();
    const char* path = getenv("KRV_FAKE_ALSA_RECORD");
    gRecordFd = path != NULL ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    if (gRecordFd < 0) {
        fail("cannot open the record (KRV_FAKE_ALSA_RECORD)", path != NULL ? path : "unset");
    }
    snd_seq_t* seq = calloc(1, sizeof *seq);
    if (seq == NULL || pipe2(seq->wake, O_CLOEXEC) != 0) {
        fail("cannot make the sequencer", strerror(errno));
    }
    *handle = seq;
    gWakeFd = seq->wake[1];
    record("open client=%d nonblock=%d", gOwnClient, (mode & SND_SEQ_NONBLOCK) != 0);
    const char* later = getenv("KRV_FAKE_ALSA_LATER");
    pthread_t watcher;
    if (later != NULL && pthread_create(&watcher, NULL, watch_later, (void*)later) == 0) {
        pthread_detach(watcher);
    }
    pthread_mutex_unlock(&gLock);
    return 0;
}

int snd_seq_close(snd_seq_t* seq) {
    pthread_mutex_lock(&gLock);
    record("close");
    gWakeFd = -1;
    close(seq->wake[0]);
    close(seq->wake[1]);
    free(seq);
    close(gRecordFd);
    gRecordFd = -1;
    pthread_mutex_unlock(&gLock);
    return 0;
}

int snd_seq_set_client_name(snd_seq_t* seq, const char* name) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    snprintf(gOwnName, kNameSize, "%s", name);
    for (int i = 0; i < gPortCount; ++i) {
        if (gPorts[i].client == gOwnClient) {
            snprintf(gPorts[i].client_name, kNameSize, "%s", name);
        }
    }
    record("name %s", name);
    pthread_mutex_unlock(&gLock);
    return 0;
}

int snd_seq_client_id(snd_seq_t* seq) {
    (void)seq;
    return gOwnClient;
}

size_t snd_seq_client_info_sizeof(void) {
    return sizeof(snd_seq_client_info_t);
}

size_t snd_seq_port_info_sizeof(void) {
    return sizeof(snd_seq_port_info_t);
}

void snd_seq_client_info_set_client(snd_seq_client_info_t* info, int client) {
    info->client = client;
}

int snd_seq_client_info_get_client(const snd_seq_client_info_t* info) {
    return info->client;
}

const char* snd_seq_client_info_get_name(snd_seq_client_info_t* info) {
    return info->name;
}

void snd_seq_port_info_set_client(snd_seq_port_info_t* info, int client) {
    info->client = client;
}

void snd_seq_port_info_set_port(snd_seq_port_info_t* info, int port) {
    info->port = port;
}

int snd_seq_port_info_get_port(const snd_seq_port_info_t* info) {
    return info->port;
}

unsigned int snd_seq_port_info_get_capability(const snd_seq_port_info_t* info) {
    return info->caps;
}

unsigned int snd_seq_port_info_get_type(const snd_seq_port_info_t* info) {
    return info->type;
}

const char* snd_seq_port_info_get_name(const snd_seq_port_info_t* info) {
    return info->name;
}

static void fill_client(snd_seq_client_info_t* info, const struct fake_port* port) {
    info->client = port->client;
    snprintf(info->name, kNameSize, "%s", port->client_name);
}

static void fill_port(snd_seq_port_info_t* info, const struct fake_port* port) {
    info->client = port->client;
    info->port = port->port;
    info->caps = port->caps;
    info->type = port->type;
    snprintf(info->name, kNameSize, "%s", port->port_name);
}

/* The port with the smallest (client, port) above the given one, where only
 * ports of inClient count unless inClient is -1. */
static const struct fake_port* next_port(int client, int after_client, int after_port) {
    const struct fake_port* best = NULL;
    for (int i = 0; i < gPortCount; ++i) {
        const struct fake_port* p = &gPorts[i];
        const int above =
            p->client > after_client || (p->client == after_client && p->port > after_port);
        const int better = best == NULL || p->client < best->client ||
                           (p->client == best->client && p->port < best->port);
        if ((client < 0 || p->client == client) && above && better) {
            best = p;
        }
    }
    return best;
}

int snd_seq_query_next_client(snd_seq_t* seq, snd_seq_client_info_t* info) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    const struct fake_port* next = next_port(-1, info->client, 1 << 30);
    if (next != NULL) {
        fill_client(info, next);
    }
    pthread_mutex_unlock(&gLock);
    return next != NULL ? 0 : -ENOENT;
}

int snd_seq_query_next_port(snd_seq_t* seq, snd_seq_port_info_t* info) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    const struct fake_port* next = next_port(info->client, info->client, info->port);
    if (next != NULL) {
        fill_port(info, next);
    }
    pthread_mutex_unlock(&gLock);
    return next != NULL ? 0 : -ENOENT;
}

int snd_seq_get_any_client_info(snd_seq_t* seq, int client, snd_seq_client_info_t* info) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    const struct fake_port* first = next_port(client, client, -1);
    if (first != NULL) {
        fill_client(info, first);
    }
    pthread_mutex_unlock(&gLock);
    return first != NULL ? 0 : -ENOENT;
}

int snd_seq_get_any_port_info(snd_seq_t* seq, int client, int port, snd_seq_port_info_t* info) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    const struct fake_port* found = find_port(client, port);
    if (found != NULL) {
        fill_port(info, found);
    }
    pthread_mutex_unlock(&gLock);
    return found != NULL ? 0 : -ENOENT;
}

int snd_seq_create_simple_port(snd_seq_t* seq, const char* name, unsigned int caps,
                               unsigned int type) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    int id = 0;
    while (find_port(gOwnClient, id) != NULL) {
        ++id;
    }
    if (gPortCount == kMaxPorts) {
        fail("too many ports", name);
    }
    struct fake_port* p = &gPorts[gPortCount++];
    memset(p, 0, sizeof *p);
    p->client = gOwnClient;
    p->port = id;
    p->caps = caps;
    p->type = type;
    snprintf(p->client_name, kNameSize, "%s", gOwnName);
    snprintf(p->port_name, kNameSize, "%s", name);
    record("create %d caps=%#x type=%#x %s", id, caps, type, name);
    pthread_mutex_unlock(&gLock);
    return id;
}

int snd_seq_delete_simple_port(snd_seq_t* seq, int port) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    struct fake_port* p = find_port(gOwnClient, port);
    if (p != NULL) {
        *p = gPorts[--gPortCount];
    }
    record("delete %d", port);
    pthread_mutex_unlock(&gLock);
    return p != NULL ? 0 : -ENOENT;
}

/* A subscription is kept on the destination; one sender per destination is
 * all krv makes. */
int snd_seq_connect_to(snd_seq_t* seq, int my_port, int dest_client, int dest_port) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    struct fake_port* dest = find_port(dest_client, dest_port);
    int status = 0;
    if (dest == NULL || (dest->caps & SND_SEQ_PORT_CAP_SUBS_WRITE) == 0) {
        status = -EINVAL;
    } else if (dest->refuse_errno != 0) {
        status = -dest->refuse_errno;
    } else {
        dest->subscribed = 1;
        dest->subscriber = my_port;
    }
    record("connect %d %d:%d %d", my_port, dest_client, dest_port, status);
    pthread_mutex_unlock(&gLock);
    return status;
}

int snd_seq_disconnect_to(snd_seq_t* seq, int my_port, int dest_client, int dest_port) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    struct fake_port* dest = find_port(dest_client, dest_port);
    if (dest != NULL) {
        dest->subscribed = 0;
    }
    record("disconnect %d %d:%d", my_port, dest_client, dest_port);
    pthread_mutex_unlock(&gLock);
    return dest != NULL ? 0 : -ENOENT;
}

int snd_seq_connect_from(snd_seq_t* seq, int my_port, int src_client, int src_port) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    record("connect-from %d %d:%d", my_port, src_client, src_port);
    const int status = find_port(src_client, src_port) != NULL ? 0 : -EINVAL;
    if (status == 0 && src_client == SND_SEQ_CLIENT_SYSTEM &&
        src_port == SND_SEQ_PORT_SYSTEM_ANNOUNCE) {
        gAnnouncePort = my_port;
    }
    pthread_mutex_unlock(&gLock);
    return status;
}

size_t snd_seq_query_subscribe_sizeof(void) {
    return sizeof(struct _snd_seq_query_subscribe);
}

void snd_seq_query_subscribe_set_root(snd_seq_query_subscribe_t* info, const snd_seq_addr_t* addr) {
    info->root = *addr;
}

void snd_seq_query_subscribe_set_type(snd_seq_query_subscribe_t* info,
                                      snd_seq_query_subs_type_t type) {
    (void)info;
    (void)type;
}

void snd_seq_query_subscribe_set_index(snd_seq_query_subscribe_t* info, int index) {
    info->index = index;
}

int snd_seq_query_subscribe_get_index(const snd_seq_query_subscribe_t* info) {
    return info->index;
}

const snd_seq_addr_t* snd_seq_query_subscribe_get_addr(const snd_seq_query_subscribe_t* info) {
    return &info->addr;
}

/* The destinations the root port subscribed, in scene order. */
int snd_seq_query_port_subscribers(snd_seq_t* seq, snd_seq_query_subscribe_t* info) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    int seen = 0;
    int status = -ENOENT;
    for (int i = 0; i < gPortCount && status < 0; ++i) {
        const struct fake_port* p = &gPorts[i];
        if (info->root.client == gOwnClient && p->subscribed && p->subscriber == info->root.port &&
            seen++ == info->index) {
            info->addr.client = (unsigned char)p->client;
            info->addr.port = (unsigned char)p->port;
            status = 0;
        }
    }
    pthread_mutex_unlock(&gLock);
    return status;
}

static int delivery_status(const snd_seq_event_t* ev) {
    const struct fake_port* source = find_port(gOwnClient, ev->source.port);
    const struct fake_port* dest = find_port(ev->dest.client, ev->dest.port);
    if (ev->queue != SND_SEQ_QUEUE_DIRECT || source == NULL ||
        (source->caps & SND_SEQ_PORT_CAP_READ) == 0) {
        return -EINVAL;
    }
    if (dest == NULL || (dest->caps & SND_SEQ_PORT_CAP_WRITE) == 0) {
        return -ENOENT;
    }
    if (dest->refuse_errno != 0 && !dest->subscribed) {
        return -ENODEV;
    }
    return full_status();
}

/* Notes and program changes are written out; anything else by its event
 * type. */
int snd_seq_event_output_direct(snd_seq_t* seq, snd_seq_event_t* ev) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    const int status = delivery_status(ev);
    const char* kind = ev->type == SND_SEQ_EVENT_NOTEON    ? "on"
                       : ev->type == SND_SEQ_EVENT_NOTEOFF ? "off"
                                                           : NULL;
    if (kind != NULL) {
        record("send %d %d:%d %s %d %d %d %d", ev->source.port, ev->dest.client, ev->dest.port,
               kind, ev->data.note.channel, ev->data.note.note, ev->data.note.velocity, status);
    } else if (ev->type == SND_SEQ_EVENT_PGMCHANGE) {
        record("send %d %d:%d program %d %d %d", ev->source.port, ev->dest.client, ev->dest.port,
               ev->data.control.channel, ev->data.control.value, status);
    } else {
        record("send %d %d:%d event-%d %d", ev->source.port, ev->dest.client, ev->dest.port,
               ev->type, status);
    }
    pthread_mutex_unlock(&gLock);
    return status < 0 ? status : (int)sizeof *ev;
}

/* Nothing but announcements ever arrives for krv. */
int snd_seq_event_input(snd_seq_t* seq, snd_seq_event_t** ev) {
    pthread_mutex_lock(&gLock);
    *ev = NULL;
    int status = -EAGAIN;
    if (gAnnouncesDue > 0) {
        char wake = 0;
        if (--gAnnouncesDue == 0 && read(seq->wake[0], &wake, 1) != 1) {
            fail("cannot read the wake-up", strerror(errno));
        }
        memset(&gAnnounce, 0, sizeof gAnnounce);
        gAnnounce.type = SND_SEQ_EVENT_PORT_START;
        gAnnounce.source.client = SND_SEQ_CLIENT_SYSTEM;
        gAnnounce.source.port = SND_SEQ_PORT_SYSTEM_ANNOUNCE;
        gAnnounce.dest.client = (unsigned char)gOwnClient;
        gAnnounce.dest.port = (unsigned char)gAnnouncePort;
        record("announce");
        *ev = &gAnnounce;
        status = 1;
    }
    pthread_mutex_unlock(&gLock);
    return status;
}

/* Called on the thread that waits for input: whether it lets the
 * application's signals in is worth a line. */
int snd_seq_poll_descriptors_count(snd_seq_t* seq, short events) {
    (void)seq;
    (void)events;
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, NULL, &mask);
    pthread_mutex_lock(&gLock);
    record("input-thread blocks INT=%d TERM=%d HUP=%d", sigismember(&mask, SIGINT),
           sigismember(&mask, SIGTERM), sigismember(&mask, SIGHUP));
    pthread_mutex_unlock(&gLock);
    return 1;
}

int snd_seq_poll_descriptors(snd_seq_t* seq, struct pollfd* pfds, unsigned int space,
                             short events) {
    if (space < 1) {
        return 0;
    }
    pfds[0].fd = seq->wake[0];
    pfds[0].events = events;
    pfds[0].revents = 0;
    return 1;
}
