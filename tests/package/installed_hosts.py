#!/usr/bin/env python3
"""Runs the installed hosts as a browser would: a "languages" request to the language host, then
a short English-to-Spanish session with the speech host on a few seconds of spoken English."""
import base64
import json
import queue
import struct
import subprocess
import sys
import threading
import time

HELPERS = sys.argv[1] if len(sys.argv) > 1 else "/usr/libexec/quelvar"
RATE = 16000  # the speech host's wire format: 16 kHz, 16-bit little-endian mono
SENTENCES = "We are going to the park. We will go to the market."


def frame(message):
    body = json.dumps(message).encode()
    return struct.pack("<I", len(body)) + body


def read_frames(stream, into):
    while True:
        header = stream.read(4)
        if len(header) < 4:
            into.put(None)
            return
        into.put(json.loads(stream.read(struct.unpack("<I", header)[0])))


def start(program):
    host = subprocess.Popen([f"{HELPERS}/{program}"], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE)
    replies = queue.Queue()
    threading.Thread(target=read_frames, args=(host.stdout, replies), daemon=True).start()
    return host, replies


def send(host, message):
    host.stdin.write(frame(message))
    host.stdin.flush()


def finish(host, name):
    host.stdin.close()
    status = host.wait(timeout=20)
    if status != 0:
        sys.exit(f"{name} ended with status {status}")


def languages():
    host, replies = start("QuelvarHost")
    send(host, {"version": 1, "id": "l", "type": "languages"})
    answer = replies.get(timeout=20)
    if not answer or answer.get("ok") is not True or ["en", "es"] not in answer.get("pairs", []):
        sys.exit(f"languages: {answer}")
    finish(host, "QuelvarHost")
    print(f"QuelvarHost: {len(answer['pairs'])} installed directions, en -> es among them")


def speech_samples():
    spoken = subprocess.run(["espeak-ng", "-v", "en-us", "-s", "130", "--stdout", SENTENCES],
                            check=True, capture_output=True).stdout
    raw = subprocess.run(["sox", "-t", "wav", "-", "-t", "raw", "-r", str(RATE), "-c", "1",
                          "-b", "16", "-e", "signed-integer", "-L", "-"],
                         input=spoken, check=True, capture_output=True).stdout
    return raw + bytes(RATE * 2)  # a second of silence ends the last utterance


def speech():
    audio = speech_samples()
    host, replies = start("QuelvarSpeech")
    send(host, {"version": 1, "type": "start", "source": "en", "target": "es"})
    answer = replies.get(timeout=30)
    if not answer or answer.get("type") != "ready":
        sys.exit(f"start: {answer}")
    chunk = RATE * 2 // 2  # half a second, sent in real time as a tab would
    for sequence, offset in enumerate(range(0, len(audio), chunk)):
        data = base64.b64encode(audio[offset:offset + chunk]).decode()
        send(host, {"version": 1, "type": "pcm", "data": data, "sequence": sequence})
        time.sleep(0.5)
    deadline = time.monotonic() + 20
    finals = []
    while not finals and time.monotonic() < deadline:
        try:
            event = replies.get(timeout=max(0.1, deadline - time.monotonic()))
        except queue.Empty:
            break
        if event is None:
            sys.exit("the speech host ended before a final caption")
        if event.get("type") == "error":
            sys.exit(f"speech host error: {event}")
        if event.get("type") == "caption" and event.get("final") is True:
            finals.append(event)
    if not finals or not finals[0].get("source") or not finals[0].get("translation"):
        sys.exit(f"no final caption with a translation: {finals}")
    send(host, {"version": 1, "type": "stop"})
    finish(host, "QuelvarSpeech")
    print(f"QuelvarSpeech: \"{finals[0]['source']}\" -> \"{finals[0]['translation']}\"")


languages()
speech()
