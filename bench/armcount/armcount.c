/* A qemu-user plugin that counts executed guest instructions and prints the
 * total to stderr at exit: "armcount: N". Debian ships no plugin header, so the
 * few entry points of plugin API version 1 are declared here. */
#include <inttypes.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

typedef uint64_t qemu_plugin_id_t;
struct qemu_plugin_tb;
typedef struct qemu_info_t qemu_info_t;
enum qemu_plugin_op { QEMU_PLUGIN_INLINE_ADD_U64 };
typedef void (*tb_trans_cb)(qemu_plugin_id_t id, struct qemu_plugin_tb* tb);
typedef void (*udata_cb)(qemu_plugin_id_t id, void* userdata);

void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t id, tb_trans_cb cb);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb* tb);
void qemu_plugin_register_vcpu_tb_exec_inline(struct qemu_plugin_tb* tb, enum qemu_plugin_op op,
                                              void* ptr, uint64_t imm);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t id, udata_cb cb, void* userdata);

__attribute__((visibility("default"))) int qemu_plugin_version = 1;

static uint64_t executed;

static void on_translate(qemu_plugin_id_t id, struct qemu_plugin_tb* tb) {
  (void)id;
  qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &executed,
                                           qemu_plugin_tb_n_insns(tb));
}

static void on_exit(qemu_plugin_id_t id, void* userdata) {
  (void)id;
  (void)userdata;
  fprintf(stderr, "armcount: %" PRIu64 "\n", executed);
}

__attribute__((visibility("default"))) int qemu_plugin_install(qemu_plugin_id_t id,
                                                               const qemu_info_t* info, int argc,
                                                               char** argv) {
  (void)info;
  (void)argc;
  (void)argv;
  qemu_plugin_register_vcpu_tb_trans_cb(id, on_translate);
  qemu_plugin_register_atexit_cb(id, on_exit, NULL);
  return 0;
}
