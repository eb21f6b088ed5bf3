/* The alsa-lib sequencer calls krv makes, preloaded, so that the real krv
 * runs its ALSA path where there is no /dev/snd/seq. Set by the environment:
 *   KRV_FAKE_ALSA_SCENE  lines "port C:P CAPS TYPES CLIENT|PORT" (CAPS and
 *       TYPES as alsa-lib's bits, in hex) and "refuse C:P ERRNO" (a
 *       subscription fails with that errno; unsubscribed sends with ENODEV)
 *   KRV_FAKE_ALSA_RECORD "NS WHAT ..." a line per call, NS on CLOCK_MONOTONIC
 *   KRV_FAKE_ALSA_LATER  once it appears its port lines join the scene and
 *       the announce port's subscriber gets a PORT_START each; "quiet" in it
 *       holds those back, as a kernel slow to deliver them would; a line
 *       "replugged C:P" is a source gone and back under its number, which
 *       lost krv's subscription
 *   KRV_FAKE_ALSA_FULL   while it exists every send fails with the errno it
 *       holds (EAGAIN if none), as a receiver without room
 *   KRV_FAKE_ALSA_PLAY   once it appears each of its lines "[MS] C:P KIND A B
 *       C" comes from that port to the port krv connected to it, at MS on
 *       CLOCK_MONOTONIC if given: on|off CH KEY VELOCITY, clock, start,
 *       stop
 * krv's client is the first number free from 128. krv calls in from three
 * threads: every entry point takes the one lock. What krv queues, and what
 * is played at a time, a thread of ours delivers at its time. */
#define _GNU_SOURCE
#include <alsa/asoundlib.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kMaxPorts = 512, kNameSize = 64, kLineSize = 512 };
#define COUNT(a) (sizeof(a) / sizeof((a)[0]))

/* A port of the scene is also the info krv queries about it. */
struct _snd_seq_port_info {
    int client, port;
    unsigned caps, type;
    char client_name[kNameSize], name[kNameSize];
    int refuse_errno, subscribed, subscriber, feeds;
};
struct _snd_seq_client_info {
    int client;
    char name[kNameSize];
};
struct _snd_seq_query_subscribe {
    snd_seq_addr_t root, addr;
    int index, type;
};
struct _snd_seq {
    int wake[2];
};

static pthread_mutex_t gLock;
/* krv's clock thread is real-time, its other threads and ours are not: the lock
 * lends its holder the priority of whoever waits, so the clock never waits long. */
__attribute__((constructor)) static void InitLock(void) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&gLock, &attr);
    pthread_mutexattr_destroy(&attr);
}
static snd_seq_port_info_t gPorts[kMaxPorts];
static int gPortCount, gOwnClient = -1, gRecordFd = -1, gAnnouncePort = -1, gAnnouncesDue,
                       gWakeFd = -1;
static char gOwnName[kNameSize] = "client";
static snd_seq_event_t gAnnounce;
/* What a source plays to krv, in order, and how much of it is still due. */
enum { kMaxPlayed = 1024, kQueue = 3, kMaxQueued = 1024 };
static snd_seq_event_t gPlayed[kMaxPlayed], gQueued[kMaxQueued];
static long long gPlayedAt[kMaxPlayed], gQueueStart;
static int gPlayedCount, gPlayedDue, gPlayedNext, gQueuedCount;
static pthread_cond_t gChanged;
static void* run_timeline(void* unused);


/* What a send writes down and a source plays: the kind, then channel, key and value. */
static const struct {
    int type;
    const char* name;
} kKinds[] = {{SND_SEQ_EVENT_NOTEON, "on"},         {SND_SEQ_EVENT_NOTEOFF, "off"},
              {SND_SEQ_EVENT_PGMCHANGE, "program"}, {SND_SEQ_EVENT_CONTROLLER, "control"},
              {SND_SEQ_EVENT_CLOCK, "clock"},       {SND_SEQ_EVENT_START, "start"},
              {SND_SEQ_EVENT_STOP, "stop"}};

static void fail(const char* what, const char* detail) {
    fprintf(stderr, "fake_alsa_seq: %s: %s\n", what, detail);
    abort();
}

/* The input thread is woken once for everything due, however many add to it. */
static void wake_input(int was_due) {
    if (!was_due && gWakeFd >= 0 && write(gWakeFd, "", 1) != 1) {
        fail("cannot wake the input thread", strerror(errno));
    }
}

static int due(void) { return gAnnouncesDue + gPlayedDue - gPlayedNext; }

static snd_seq_port_info_t* find_port(int client, int port) {
    for (int i = 0; i < gPortCount; ++i) {
        if (gPorts[i].client == client && gPorts[i].port == port) return &gPorts[i];
    }
    return NULL;
}

static snd_seq_port_info_t* add_port(int client, int port) {
    if (gPortCount == kMaxPorts) fail("too many ports", "");
    snd_seq_port_info_t* p = memset(&gPorts[gPortCount++], 0, sizeof gPorts[0]);
    p->client = client;
    p->port = port;
    return p;
}

static void parse_port(char* rest) {
    int client = 0, port = 0, used = 0;
    unsigned caps = 0, type = 0;
    if (sscanf(rest, "%d:%d %x %x %n", &client, &port, &caps, &type, &used) != 4 ||
        strchr(rest + used, '|') == NULL) {
        fail("bad port line", rest);
    }
    snd_seq_port_info_t* p = add_port(client, port);
    p->caps = caps;
    p->type = type;
    sscanf(rest + used, "%63[^|]|%63[^\n]", p->client_name, p->name);
}

static void load_scene(void) {
    const char* path = getenv("KRV_FAKE_ALSA_SCENE");
    FILE* scene = path != NULL ? fopen(path, "r") : NULL;
    if (scene == NULL) fail("cannot read KRV_FAKE_ALSA_SCENE", path != NULL ? path : "unset");
    char line[kLineSize];
    int client = 0, port = 0, error = 0;
    for (gPortCount = 0; fgets(line, sizeof line, scene) != NULL;) {
        snd_seq_port_info_t* p = NULL;
        if (strncmp(line, "port ", 5) == 0) {
            parse_port(line + 5);
        } else if (sscanf(line, "refuse %d:%d %d", &client, &port, &error) == 3 &&
                   (p = find_port(client, port)) != NULL) {
            p->refuse_errno = error;
        } else if (line[0] != '#' && line[0] != '\n') {
            fail("bad scene line (ports before refusals)", line);
        }
    }
    fclose(scene);
    gOwnClient = 128;
    for (int i = 0; i < gPortCount; ++i) {
        if (gPorts[i].client >= gOwnClient) gOwnClient = gPorts[i].client + 1;
    }
}

/* A queued event's line says when it was due, not when our thread (no
 * real-time one) came to it. */
static long long gRecordAt;
static void record(const char* format, ...) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[kLineSize];
    int length = snprintf(line, sizeof line, "%lld ",
                          gRecordAt ? gRecordAt : now.tv_sec * 1000000000LL + now.tv_nsec);
    va_list args;
    va_start(args, format);
    length += vsnprintf(line + length, sizeof line - (size_t)length - 1, format, args);
    va_end(args);
    length = length > kLineSize - 2 ? kLineSize - 2 : length;
    line[length++] = '\n';
    if (gRecordFd >= 0 && write(gRecordFd, line, (size_t)length) != length) {
        fail("cannot write the record", strerror(errno));
    }
}

/* 0 while the receiver has room, else the negative error it refuses with. */
static int full_status(void) {
    const char* path = getenv("KRV_FAKE_ALSA_FULL");
    FILE* full = path != NULL ? fopen(path, "r") : NULL;
    int error = EAGAIN;
    if (full == NULL) return 0;
    if (fscanf(full, "%d", &error) != 1) error = EAGAIN;
    fclose(full);
    return -error;
}

/* The later scene comes whenever the system has it: a thread of its own. */
static void* watch_later(void* path) {
    while (access((const char*)path, F_OK) != 0) usleep(10000);
    pthread_mutex_lock(&gLock);
    FILE* later = fopen((const char*)path, "r");
    char line[kLineSize];
    int added = 0, quiet = 0;
    while (later != NULL && fgets(line, sizeof line, later) != NULL) {
        int client = 0, port = 0;
        snd_seq_port_info_t* replugged = NULL;
        if (strncmp(line, "port ", 5) == 0) parse_port(line + 5), ++added;
        if (sscanf(line, "replugged %d:%d", &client, &port) == 2 &&
            (replugged = find_port(client, port)) != NULL) {
            replugged->feeds = 0, ++added;
        }
        quiet = quiet || strncmp(line, "quiet", 5) == 0;
    }
    if (later != NULL) fclose(later);
    record("later %d", added);
    if (gAnnouncePort >= 0 && gWakeFd >= 0 && added > 0 && !quiet) {
        const int was_due = due();
        gAnnouncesDue += added;
        wake_input(was_due);
    }
    pthread_mutex_unlock(&gLock);
    return NULL;
}

static void watch_play_line(char* line) {
    int client = 0, port = 0, a = 0, b = 0, c = 0, used = 0;
    double ms = 0;
    char kind[8] = "";
    const snd_seq_port_info_t* source = NULL;
    if (strchr(line, ' ') < strchr(line, ':')) sscanf(line, "%lf %n", &ms, &used);
    size_t k = 0;
    if (sscanf(line + used, "%d:%d %7s %d %d %d", &client, &port, kind, &a, &b, &c) < 3 ||
        (source = find_port(client, port)) == NULL || source->feeds == 0) {
        fail("bad play line, or a source krv does not listen to", line);
    }
    while (k < COUNT(kKinds) && strcmp(kKinds[k].name, kind) != 0) ++k;
    if (k == COUNT(kKinds) || gPlayedCount == kMaxPlayed) fail("bad or too much play", line);
    gPlayedAt[gPlayedCount] = (long long)(ms * 1e6);
    snd_seq_event_t* ev = memset(&gPlayed[gPlayedCount++], 0, sizeof gPlayed[0]);
    ev->type = (snd_seq_event_type_t)kKinds[k].type;
    ev->source = (snd_seq_addr_t){(unsigned char)client, (unsigned char)port};
    ev->dest = (snd_seq_addr_t){(unsigned char)gOwnClient, (unsigned char)(source->feeds - 1)};
    ev->data.note = (snd_seq_ev_note_t){.channel = a, .note = b, .velocity = c};
}

/* Each line is handed over by the timeline thread, at its time. */
static void* watch_play(void* path) {
    while (access((const char*)path, F_OK) != 0) usleep(10000);
    pthread_mutex_lock(&gLock);
    FILE* play = fopen((const char*)path, "r");
    char line[kLineSize];
    while (play != NULL && fgets(line, sizeof line, play) != NULL) watch_play_line(line);
    if (play != NULL) fclose(play);
    record("play %d", gPlayedCount);
    pthread_cond_signal(&gChanged);
    pthread_mutex_unlock(&gLock);
    return NULL;
}

int snd_lib_error_set_handler(snd_lib_error_handler_t handler) {
    (void)handler;
    return 0;
}

int snd_seq_open(snd_seq_t** handle, const char* name, int streams, int mode) {
    (void)name, (void)streams;
    pthread_mutex_lock(&gLock);
    load_scene();
    const char* path = getenv("KRV_FAKE_ALSA_RECORD");
    gRecordFd = path != NULL ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    if (gRecordFd < 0) fail("cannot open KRV_FAKE_ALSA_RECORD", path != NULL ? path : "unset");
    *handle = calloc(1, sizeof **handle);
    if (*handle == NULL || pipe2((*handle)->wake, O_CLOEXEC) != 0) {
        fail("cannot make the sequencer", strerror(errno));
    }
    gWakeFd = (*handle)->wake[1];
    record("open client=%d nonblock=%d", gOwnClient, (mode & SND_SEQ_NONBLOCK) != 0);
    const char* later = getenv("KRV_FAKE_ALSA_LATER");
    pthread_t watcher;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&gChanged, &attr);
    if (pthread_create(&watcher, NULL, run_timeline, NULL) == 0) pthread_detach(watcher);
    if (later != NULL && pthread_create(&watcher, NULL, watch_later, (void*)later) == 0) {
        pthread_detach(watcher);
    }
    const char* play = getenv("KRV_FAKE_ALSA_PLAY");
    if (play != NULL && pthread_create(&watcher, NULL, watch_play, (void*)play) == 0) {
        pthread_detach(watcher);
    }
    pthread_mutex_unlock(&gLock);
    return 0;
}

int snd_seq_close(snd_seq_t* seq) {
    pthread_mutex_lock(&gLock);
    record("close dropped=%d", gQueuedCount);
    gWakeFd = -1;
    pthread_cond_signal(&gChanged);
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
    snprintf(gOwnName, kNameSize, "%s", name); /* krv names its client before making ports */
    record("name %s", name);
    pthread_mutex_unlock(&gLock);
    return 0;
}

int snd_seq_client_id(snd_seq_t* seq) {
    (void)seq;
    return gOwnClient;
}

size_t snd_seq_client_info_sizeof(void) { return sizeof(snd_seq_client_info_t); }
size_t snd_seq_port_info_sizeof(void) { return sizeof(snd_seq_port_info_t); }
size_t snd_seq_query_subscribe_sizeof(void) { return sizeof(snd_seq_query_subscribe_t); }
void snd_seq_client_info_set_client(snd_seq_client_info_t* info, int client) {
    info->client = client;
}
int snd_seq_client_info_get_client(const snd_seq_client_info_t* info) { return info->client; }
const char* snd_seq_client_info_get_name(snd_seq_client_info_t* info) { return info->name; }
void snd_seq_port_info_set_client(snd_seq_port_info_t* info, int client) { info->client = client; }
void snd_seq_port_info_set_port(snd_seq_port_info_t* info, int port) { info->port = port; }
int snd_seq_port_info_get_port(const snd_seq_port_info_t* info) { return info->port; }
unsigned int snd_seq_port_info_get_capability(const snd_seq_port_info_t* info) {
    return info->caps;
}
unsigned int snd_seq_port_info_get_type(const snd_seq_port_info_t* info) { return info->type; }
const char* snd_seq_port_info_get_name(const snd_seq_port_info_t* info) { return info->name; }
void snd_seq_query_subscribe_set_root(snd_seq_query_subscribe_t* info, const snd_seq_addr_t* addr) {
    info->root = *addr;
}
void snd_seq_query_subscribe_set_type(snd_seq_query_subscribe_t* info,
                                      snd_seq_query_subs_type_t type) {
    info->type = (int)type;
}
void snd_seq_query_subscribe_set_index(snd_seq_query_subscribe_t* info, int index) {
    info->index = index;
}
int snd_seq_query_subscribe_get_index(const snd_seq_query_subscribe_t* info) { return info->index; }
const snd_seq_addr_t* snd_seq_query_subscribe_get_addr(const snd_seq_query_subscribe_t* info) {
    return &info->addr;
}

/* The port with the smallest (client, port) above the given one, of client
 * alone unless it is -1. */
static const snd_seq_port_info_t* next_port(int client, int after_client, int after_port) {
    const snd_seq_port_info_t* best = NULL;
    for (const snd_seq_port_info_t* p = gPorts; p < gPorts + gPortCount; ++p) {
        const int above =
            p->client > after_client || (p->client == after_client && p->port > after_port);
        const int better = best == NULL || p->client < best->client ||
                           (p->client == best->client && p->port < best->port);
        if ((client < 0 || p->client == client) && above && better) best = p;
    }
    return best;
}

/* Fills a client's info from its first port, or says there is none. */
static int client_of(const snd_seq_port_info_t* port, snd_seq_client_info_t* info) {
    if (port != NULL) {
        info->client = port->client;
        snprintf(info->name, kNameSize, "%s", port->client_name);
    }
    pthread_mutex_unlock(&gLock);
    return port != NULL ? 0 : -ENOENT;
}

static int port_of(const snd_seq_port_info_t* port, snd_seq_port_info_t* info) {
    if (port != NULL) *info = *port;
    pthread_mutex_unlock(&gLock);
    return port != NULL ? 0 : -ENOENT;
}

int snd_seq_query_next_client(snd_seq_t* seq, snd_seq_client_info_t* info) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    return client_of(next_port(-1, info->client, 1 << 30), info);
}

int snd_seq_get_any_client_info(snd_seq_t* seq, int client, snd_seq_client_info_t* info) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    return client_of(next_port(client, client, -1), info);
}

int snd_seq_query_next_port(snd_seq_t* seq, snd_seq_port_info_t* info) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    return port_of(next_port(info->client, info->client, info->port), info);
}

int snd_seq_get_any_port_info(snd_seq_t* seq, int client, int port, snd_seq_port_info_t* info) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    return port_of(find_port(client, port), info);
}

int snd_seq_create_simple_port(snd_seq_t* seq, const char* name, unsigned int caps,
                               unsigned int type) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    int id = 0;
    while (find_port(gOwnClient, id) != NULL) ++id;
    snd_seq_port_info_t* p = add_port(gOwnClient, id);
    p->caps = caps;
    p->type = type;
    snprintf(p->client_name, kNameSize, "%s", gOwnName);
    snprintf(p->name, kNameSize, "%s", name);
    record("create %d caps=%#x type=%#x %s", id, caps, type, name);
    pthread_mutex_unlock(&gLock);
    return id;
}

int snd_seq_delete_simple_port(snd_seq_t* seq, int port) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    snd_seq_port_info_t* p = find_port(gOwnClient, port);
    if (p != NULL) *p = gPorts[--gPortCount];
    record("delete %d", port);
    pthread_mutex_unlock(&gLock);
    return p != NULL ? 0 : -ENOENT;
}

/* The subscription is kept on the destination: krv gives each its own sender. */
int snd_seq_connect_to(snd_seq_t* seq, int my_port, int dest_client, int dest_port) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    snd_seq_port_info_t* dest = find_port(dest_client, dest_port);
    const int status = dest == NULL || (dest->caps & SND_SEQ_PORT_CAP_SUBS_WRITE) == 0
                           ? -EINVAL
                           : -dest->refuse_errno;
    if (status == 0) dest->subscribed = 1, dest->subscriber = my_port;
    record("connect %d %d:%d %d", my_port, dest_client, dest_port, status);
    pthread_mutex_unlock(&gLock);
    return status;
}

int snd_seq_disconnect_to(snd_seq_t* seq, int my_port, int dest_client, int dest_port) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    snd_seq_port_info_t* dest = find_port(dest_client, dest_port);
    if (dest != NULL) dest->subscribed = 0;
    record("disconnect %d %d:%d", my_port, dest_client, dest_port);
    pthread_mutex_unlock(&gLock);
    return dest != NULL ? 0 : -ENOENT;
}

int snd_seq_connect_from(snd_seq_t* seq, int my_port, int src_client, int src_port) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    record("connect-from %d %d:%d", my_port, src_client, src_port);
    snd_seq_port_info_t* source = find_port(src_client, src_port);
    const int status = source != NULL ? 0 : -EINVAL;
    if (source != NULL) source->feeds = my_port + 1;
    if (status == 0 && src_client == SND_SEQ_CLIENT_SYSTEM &&
        src_port == SND_SEQ_PORT_SYSTEM_ANNOUNCE) {
        gAnnouncePort = my_port;
    }
    pthread_mutex_unlock(&gLock);
    return status;
}

/* The destinations the root port subscribed, or the sources it is
 * subscribed to (WRITE), in scene order. */
int snd_seq_query_port_subscribers(snd_seq_t* seq, snd_seq_query_subscribe_t* info) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    int seen = 0, status = -ENOENT;
    for (const snd_seq_port_info_t* p = gPorts; p < gPorts + gPortCount && status < 0; ++p) {
        const int linked = info->type == SND_SEQ_QUERY_SUBS_WRITE
                               ? p->feeds == info->root.port + 1
                               : p->subscribed && p->subscriber == info->root.port;
        if (info->root.client == gOwnClient && linked && seen++ == info->index) {
            info->addr.client = (unsigned char)p->client;
            info->addr.port = (unsigned char)p->port;
            status = 0;
        }
    }
    pthread_mutex_unlock(&gLock);
    return status;
}

static int delivery_status(const snd_seq_event_t* ev) {
    const snd_seq_port_info_t* source = find_port(gOwnClient, ev->source.port);
    const snd_seq_port_info_t* dest = find_port(ev->dest.client, ev->dest.port);
    if ((ev->queue != SND_SEQ_QUEUE_DIRECT && ev->queue != kQueue) || source == NULL ||
        (source->caps & SND_SEQ_PORT_CAP_READ) == 0) {
        return -EINVAL;
    }
    if (dest == NULL || (dest->caps & SND_SEQ_PORT_CAP_WRITE) == 0) return -ENOENT;
    return dest->refuse_errno != 0 && !dest->subscribed ? -ENODEV : full_status();
}

/* "send SOURCE DEST KIND CHANNEL KEY VALUE STATUS"; a kind not in kKinds by
 * its event type, with zeros. */
static void record_send(const snd_seq_event_t* ev, int status) {
    size_t kind = 0;
    while (kind < COUNT(kKinds) && kKinds[kind].type != ev->type) ++kind;
    char other[16];
    snprintf(other, sizeof other, "event-%d", ev->type);
    const int program = ev->type == SND_SEQ_EVENT_PGMCHANGE, known = kind < COUNT(kKinds);
    record("send %d %d:%d %s %d %d %d %d", ev->source.port, ev->dest.client, ev->dest.port,
           known ? kKinds[kind].name : other, known ? ev->data.note.channel : 0,
           !known ? 0 : program ? ev->data.control.value : ev->data.note.note,
           known && !program ? ev->data.note.velocity : 0, status);
}

static long long now_ns(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

static long long queue_ns(const snd_seq_real_time_t* time) {
    return gQueueStart + time->tv_sec * 1000000000LL + time->tv_nsec;
}

/* Hands over what is played and delivers what krv queued, each at its time,
 * until the client closes; of queued events due together, the first sent. */
static void* run_timeline(void* unused) {
    pthread_mutex_lock(&gLock);
    while (gWakeFd >= 0) {
        int next = -1;
        for (int i = 0; i < gQueuedCount; ++i) {
            if (next < 0 || queue_ns(&gQueued[i].time.time) < queue_ns(&gQueued[next].time.time)) {
                next = i;
            }
        }
        const long long queued = next < 0 ? LLONG_MAX : queue_ns(&gQueued[next].time.time),
                        played = gPlayedDue < gPlayedCount ? gPlayedAt[gPlayedDue] : LLONG_MAX,
                        at = queued < played ? queued : played;
        const struct timespec until = {at / 1000000000LL, at % 1000000000LL};
        if (at > now_ns()) {
            (void)(at == LLONG_MAX ? pthread_cond_wait(&gChanged, &gLock)
                                   : pthread_cond_timedwait(&gChanged, &gLock, &until));
        } else if (queued <= played) {
            gRecordAt = queued;
            record_send(&gQueued[next], delivery_status(&gQueued[next]));
            gRecordAt = 0, --gQueuedCount;
            memmove(gQueued + next, gQueued + next + 1, sizeof gQueued[0] * (gQueuedCount - next));
        } else {
            const int was_due = due();
            ++gPlayedDue;
            wake_input(was_due);
        }
    }
    pthread_mutex_unlock(&gLock);
    return unused;
}

/* A queued event is refused at once as a direct one would be, else kept. */
int snd_seq_event_output_direct(snd_seq_t* seq, snd_seq_event_t* ev) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    const int status = delivery_status(ev), queued = ev->queue == kQueue && status == 0;
    const unsigned when = ev->flags & (SND_SEQ_TIME_STAMP_MASK | SND_SEQ_TIME_MODE_MASK),
                   absolute_real = when == (SND_SEQ_TIME_STAMP_REAL | SND_SEQ_TIME_MODE_ABS);
    if (queued && (!absolute_real || gQueuedCount == kMaxQueued)) fail("queued badly", "");
    queued ? (void)(gQueued[gQueuedCount++] = *ev) : record_send(ev, status);
    pthread_cond_signal(&gChanged);
    pthread_mutex_unlock(&gLock);
    return status < 0 ? status : (int)sizeof *ev;
}

int snd_seq_alloc_queue(snd_seq_t* seq) { return (void)seq, kQueue; }
int snd_seq_free_queue(snd_seq_t* seq, int q) { return (void)seq, q == kQueue ? 0 : -EINVAL; }
int snd_seq_drain_output(snd_seq_t* seq) { return (void)seq, 0; }

/* Start only: the queue's real time runs from now. */
int snd_seq_control_queue(snd_seq_t* seq, int q, int type, int value, snd_seq_event_t* ev) {
    (void)seq, (void)value;
    if (q != kQueue || type != SND_SEQ_EVENT_START || ev != NULL) fail("a queue control", "");
    gQueueStart = now_ns();
    return 0;
}

struct _snd_seq_remove_events {
    unsigned condition;
    int queue, tag;
    snd_seq_timestamp_t time;
};
size_t snd_seq_remove_events_sizeof(void) { return sizeof(snd_seq_remove_events_t); }
void snd_seq_remove_events_set_condition(snd_seq_remove_events_t* r, unsigned int c) {
    r->condition = c;
}
void snd_seq_remove_events_set_queue(snd_seq_remove_events_t* r, int q) { r->queue = q; }
void snd_seq_remove_events_set_time(snd_seq_remove_events_t* r, const snd_seq_timestamp_t* t) {
    r->time = *t;
}
void snd_seq_remove_events_set_tag(snd_seq_remove_events_t* r, int tag) { r->tag = tag; }

/* The queued events of a tag due at a time or later: "remove COUNT". */
int snd_seq_remove_events(snd_seq_t* seq, snd_seq_remove_events_t* info) {
    (void)seq;
    pthread_mutex_lock(&gLock);
    const unsigned port_from =
        SND_SEQ_REMOVE_OUTPUT | SND_SEQ_REMOVE_TIME_AFTER | SND_SEQ_REMOVE_TAG_MATCH;
    if (info->condition != port_from || info->queue != kQueue) fail("not a port's from a time", "");
    int kept = 0;
    for (int i = 0; i < gQueuedCount; ++i) {
        const int later = queue_ns(&gQueued[i].time.time) >= queue_ns(&info->time.time);
        if (gQueued[i].tag != info->tag || !later) gQueued[kept++] = gQueued[i];
    }
    record("remove %d", gQueuedCount - kept);
    gQueuedCount = kept;
    pthread_mutex_unlock(&gLock);
    return 0;
}

/* Announcements, then what the sources play. */
int snd_seq_event_input(snd_seq_t* seq, snd_seq_event_t** ev) {
    pthread_mutex_lock(&gLock);
    *ev = NULL;
    int status = -EAGAIN;
    char wake = 0;
    if (due() == 1 && read(seq->wake[0], &wake, 1) != 1) {
        fail("cannot read the wake-up", strerror(errno));
    }
    if (gAnnouncesDue == 0 && gPlayedNext < gPlayedDue) {
        *ev = &gPlayed[gPlayedNext++];
        status = 1;
    } else if (gAnnouncesDue > 0) {
        --gAnnouncesDue;
        memset(&gAnnounce, 0, sizeof gAnnounce);
        gAnnounce.type = SND_SEQ_EVENT_PORT_START;
        gAnnounce.source = (snd_seq_addr_t){SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE};
        gAnnounce.dest = (snd_seq_addr_t){(unsigned char)gOwnClient, (unsigned char)gAnnouncePort};
        record("announce");
        *ev = &gAnnounce;
        status = 1;
    }
    pthread_mutex_unlock(&gLock);
    return status;
}

/* Called on the thread that waits for input: whether it lets the signals in. */
int snd_seq_poll_descriptors_count(snd_seq_t* seq, short events) {
    (void)seq, (void)events;
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
    if (space < 1) return 0;
    pfds[0] = (struct pollfd){seq->wake[0], events, 0};
    return 1;
}
