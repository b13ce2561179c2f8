"""A virtual machine for the suite: Debian's kernel under QEMU (TCG, no KVM needed), an
initramfs of busybox and the drivers asked for, the host's tree read-only over virtio-9p,
a shared folder for requests and answers, the guest agent (tests/vm/guest) in it, a
monitor socket, and serial devices whose host ends are ptys."""

import ctypes
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


class MachineError(Exception):
    pass


def die_with_parent():
    """In the child before exec: QEMU goes when the suite does, also when a timeout kills it."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def kernel_folder():
    """The unpacked kernel, fetched into the cache by tests/vm/kernel if need be."""
    done = subprocess.run([os.path.join(HERE, "kernel")], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        raise MachineError("no kernel: " + done.stderr.strip())
    return done.stdout.strip()


def module_closure(kernel, names):
    """The module files the named drivers need, from the kernel's modules.dep."""
    version = open(os.path.join(kernel, "complete")).read().strip()
    base = os.path.join("lib", "modules", version)
    deps = {}
    with open(os.path.join(kernel, base, "modules.dep")) as f:
        for line in f:
            path, _, rest = line.partition(":")
            deps[os.path.basename(path)[: -len(".ko")]] = (path, rest.split())
    by_path = {path: name for name, (path, _) in deps.items()}
    files, todo = set(), list(names)
    while todo:
        name = todo.pop()
        if name not in deps:
            raise MachineError(f"the kernel has no module {name}")
        path, needs = deps[name]
        if path not in files:
            files.add(path)
            todo.extend(by_path[need] for need in needs)
    return base, sorted(files)


def build_initramfs(kernel, modules, into):
    stage = tempfile.mkdtemp(dir=into)
    try:
        os.makedirs(os.path.join(stage, "bin"))
        shutil.copy(shutil.which("busybox") or "/bin/busybox", os.path.join(stage, "bin", "busybox"))
        shutil.copy(os.path.join(HERE, "init"), os.path.join(stage, "init"))
        os.chmod(os.path.join(stage, "init"), 0o755)
        base, files = module_closure(kernel, modules)
        for path in files + ["modules.dep"]:
            target = os.path.join(stage, base, path)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy(os.path.join(kernel, base, path), target)
        image = os.path.join(into, "initramfs.cpio")
        names = subprocess.run(["find", "."], cwd=stage, stdout=subprocess.PIPE, check=True).stdout
        with open(image, "wb") as out:
            subprocess.run(["busybox", "cpio", "-o", "-H", "newc"], cwd=stage, input=names, stdout=out,
                           stderr=subprocess.DEVNULL, check=True)
        return image
    finally:
        shutil.rmtree(stage)


class Monitor:
    """QEMU's human monitor on a unix socket: one command, its reply up to the next prompt."""

    PROMPT = b"(qemu) "

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX)
        self.sock.settimeout(30)
        self.sock.connect(path)
        self._until_prompt()

    def _until_prompt(self):
        data = b""
        while not data.endswith(self.PROMPT):
            chunk = self.sock.recv(4096)
            if not chunk:
                raise MachineError("QEMU's monitor closed")
            data += chunk
        return data[: -len(self.PROMPT)].decode(errors="replace")

    def command(self, text):
        self.sock.sendall(text.encode() + b"\n")
        reply = self._until_prompt()
        # The monitor echoes the command line first.
        return reply.split("\n", 1)[1] if "\n" in reply else ""

    def close(self):
        self.sock.close()


class Machine:
    def __init__(self, work, modules, devices, ptys, memory=1024):
        """devices: QEMU -device arguments; ptys: the ids of the -chardev pty backends they use."""
        self.work = work
        os.makedirs(work, exist_ok=True)
        self.share = os.path.join(work, "share")
        shutil.rmtree(self.share, ignore_errors=True)
        os.makedirs(self.share)
        self.console = os.path.join(work, "console.log")
        self.monitor_path = os.path.join(work, "monitor.sock")
        self.modules, self.devices, self.pty_ids, self.memory = modules, devices, ptys, memory
        self.process = None
        self.monitor = None
        self.ptys = {}
        self.requests = 0

    def start(self):
        if not shutil.which("qemu-system-x86_64"):
            raise MachineError("qemu-system-x86_64 is not installed (scripts/install-deps installs it)")
        kernel = kernel_folder()
        vmlinuz = [f for f in os.listdir(os.path.join(kernel, "boot")) if f.startswith("vmlinuz-")][0]
        initramfs = build_initramfs(kernel, self.modules, self.work)
        append = ["console=ttyS0", "quiet", "panic=-1", "korvex.share=" + self.share,
                  "korvex.agent=" + os.path.join(HERE, "guest"), "korvex.modules=" + ",".join(self.modules)]
        if os.path.exists(self.monitor_path):
            os.unlink(self.monitor_path)
        argv = ["qemu-system-x86_64", "-accel", "tcg", "-smp", "1", "-m", str(self.memory), "-nodefaults",
                "-no-reboot", "-display", "none", "-kernel", os.path.join(kernel, "boot", vmlinuz),
                "-initrd", initramfs, "-append", " ".join(append),
                "-chardev", f"file,id=console,path={self.console}", "-serial", "chardev:console",
                "-monitor", f"unix:{self.monitor_path},server=on,wait=off",
                "-virtfs", "local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap",
                "-virtfs", f"local,path={self.share},mount_tag=share,security_model=none,multidevs=remap"]
        for pty in self.pty_ids:
            argv += ["-chardev", f"pty,id={pty}"]
        for device in self.devices:
            argv += ["-device", device]
        self.qemu_log = open(os.path.join(self.work, "qemu.log"), "w")
        self.booted = time.monotonic()
        self.process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=self.qemu_log, stderr=subprocess.STDOUT,
                                        preexec_fn=die_with_parent)
        deadline = time.monotonic() + 30
        while not os.path.exists(self.monitor_path):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise MachineError("QEMU did not start: " + self.log_tail(os.path.join(self.work, "qemu.log")))
            time.sleep(0.05)
        self.monitor = Monitor(self.monitor_path)
        for line in self.monitor.command("info chardev").splitlines():
            found = re.match(r"(\S+): filename=pty:(\S+)", line.strip())
            if found:
                self.ptys[found.group(1)] = found.group(2)
        missing = set(self.pty_ids) - set(self.ptys)
        if missing:
            raise MachineError(f"QEMU named no pty for {sorted(missing)}")

    def request(self, do, timeout, **fields):
        """Hands the guest agent a request and waits up to `timeout` seconds for its answer."""
        number = self.requests
        self.requests += 1
        temporary = os.path.join(self.share, f"request-{number}.tmp")
        with open(temporary, "w") as f:
            json.dump(dict(fields, do=do), f)
        os.rename(temporary, os.path.join(self.share, f"request-{number}.json"))
        if do == "stop":
            return None
        answer = os.path.join(self.share, f"answer-{number}.json")
        deadline = time.monotonic() + timeout
        while not os.path.exists(answer):
            if self.process.poll() is not None:
                raise MachineError("the virtual machine stopped: " + self.log_tail(self.console))
            if time.monotonic() > deadline:
                raise MachineError(f"the guest did not answer '{do}' within {timeout} s")
            time.sleep(0.02)
        with open(answer) as f:
            reply = json.load(f)
        if "error" in reply:
            raise MachineError(f"the guest failed '{do}': {reply['error']}")
        return reply

    def wait_ready(self, seconds):
        """Waits for the agent to take its first request (the boot), and tells the boot time."""
        self.request("wait", seconds, path="/", present=True, seconds=0)
        return time.monotonic() - self.booted

    def stop(self):
        if self.process is None:
            return
        if self.process.poll() is None:
            try:
                self.request("stop", 0)
                self.process.wait(timeout=30)
            except (subprocess.TimeoutExpired, OSError):
                self.process.kill()
                self.process.wait()
        if self.monitor:
            self.monitor.close()
        self.qemu_log.close()

    @staticmethod
    def log_tail(path, lines=30):
        try:
            with open(path, errors="replace") as f:
                return "".join(f.readlines()[-lines:])
        except OSError:
            return "(no log)"
