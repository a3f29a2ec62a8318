#!/usr/bin/python
# -*- coding: utf-8 -*-
# Keeps the TKR520 reader of a managed host on one configuration through tkr520ctl, which
# must be installed there (the tkr520-console package).
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: tkr520_profile
short_description: Keep a TKR520 card reader on one configuration
description:
  - Runs C(tkr520ctl --json profile apply) on the managed host, which sends only the fields
    the reader's read-back does not already show, and verifies each by a new read-back.
  - In check mode it runs C(tkr520ctl profile apply --check), which reads the configuration
    back and sends no change.
  - Tracks, prefixes, suffixes and the separator have no read-back; a profile that names
    them is sent, and reported changed, on every run.
options:
  config:
    description:
      - The profile's fields, as C(tkr520ctl set) names them (buzzer, jis, lrc, selfarm, sses,
        rts, cts, protocol, tracks, prefix1..3, suffix1..3, separator). true and false stand
        for on and off.
    type: dict
  profile:
    description: A profile file on the managed host, as C(tkr520ctl profile save) writes it.
    type: path
  com:
    description: The reader's COM number; without it the reader is detected on COM1..COM16.
    type: int
  port:
    description: C(COMn=DEVICE) mappings, as tkr520ctl's C(--port) takes them.
    type: list
    elements: str
    default: []
  no_system_ports:
    description: Use only the I(port) devices.
    type: bool
    default: false
  executable:
    description: The tkr520ctl program.
    type: path
    default: tkr520ctl
"""

EXAMPLES = r"""
- name: Reader on COM1 as line 7 wants it
  tkr520_profile:
    com: 1
    config:
      buzzer: false
      lrc: true
      protocol: 1
"""

RETURN = r"""
fields:
  description: Per field the value read back before, the value wanted and whether it was sent.
  returned: always
  type: list
port:
  description: The COM number and device the reader answered on.
  returned: success
  type: str
"""

import json

from ansible.module_utils.basic import AnsibleModule


def profile_text(config):
    profile = {"format": "tkr520ctl-profile", "version": 1}
    for name, value in config.items():
        if isinstance(value, bool):
            value = "on" if value else "off"
        profile[name] = value
    return json.dumps(profile)


def lines(fields, key):
    return "".join("%s=%s\n" % (f["name"], f.get(key) or "(no read-back)") for f in fields)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            config=dict(type="dict"),
            profile=dict(type="path"),
            com=dict(type="int"),
            port=dict(type="list", elements="str", default=[]),
            no_system_ports=dict(type="bool", default=False),
            executable=dict(type="path", default="tkr520ctl"),
        ),
        mutually_exclusive=[("config", "profile")],
        required_one_of=[("config", "profile")],
        supports_check_mode=True,
    )
    p = module.params
    cmd = [p["executable"], "--json"]
    for mapping in p["port"]:
        cmd += ["--port", mapping]
    if p["no_system_ports"]:
        cmd.append("--no-system-ports")
    if p["com"] is not None:
        cmd += ["--com", str(p["com"])]
    cmd += ["profile", "apply", p["profile"] or "-"]
    if module.check_mode:
        cmd.append("--check")
    data = profile_text(p["config"]) if p["config"] is not None else None

    rc, out, err = module.run_command(cmd, data=data)
    try:
        result = json.loads(out.strip().splitlines()[-1])
    except (ValueError, IndexError):
        module.fail_json(msg=err.strip() or "tkr520ctl printed no report", rc=rc, stdout=out, stderr=err)

    fields = result.get("fields", [])
    changed = bool(result.get("changed", False))
    port = "%s %s" % (result.get("port", ""), result.get("device", ""))
    # The reader's values, then the profile's: check mode reports now/wanted, apply
    # before/asked.
    diff = dict(
        before=lines(fields, "now" if module.check_mode else "before"),
        after=lines(fields, "wanted" if module.check_mode else "asked"),
        before_header=port.strip() or "reader",
        after_header="profile",
    )
    if rc != 0:
        module.fail_json(msg=result.get("error") or err.strip(), rc=rc, changed=changed,
                         fields=fields, diff=diff)
    module.exit_json(changed=changed, fields=fields, port=port.strip(), diff=diff)


if __name__ == "__main__":
    main()
