#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: KESTOVAN developers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: viewer
short_description: Remove Tavori Viewer from a Wine prefix with KESTOVAN
version_added: "1.0.0"
description:
  - Removes Tavori Viewer from a Wine prefix on a managed Linux host by running the
    installed C(kestovan) program in its quiet mode (C(kestovan --quiet)).
  - The quiet policy removes the application and keeps the user's own slide shows,
    pictures and sounds unless I(remove_user_files) is set.
  - In check mode the module runs C(kestovan --quiet --preview), which changes nothing;
    the task reports changed exactly when the preview lists changes, and returns them.
  - In diff mode the module returns what C(kestovan --list --json) shows before and
    after the run (what was there, what is left).
  - The exit status of C(kestovan) decides the result. 0 is changed. 3 (finished, but
    something was left behind) is changed, and failed unless I(fail_on_leftovers=false).
    4 (nothing to remove) is ok. 5 (another copy is running) fails with
    C(another copy is running), so C(retries)/C(until) can wait for the other copy.
    2 (bad command line or unusable prefix) fails with the program's message.
options:
  prefix:
    description:
      - The Wine prefix (machine directory) to remove Tavori Viewer from.
      - Defaults to the remote user's C(WINEPREFIX), else C(~/.wine).
    type: path
  state:
    description:
      - C(absent) is the only state. Tavori Viewer is removed.
    type: str
    choices: [ absent ]
    default: absent
  remove_user_files:
    description:
      - Also delete the user's slide shows, pictures and sounds in the program directory
        and its SLIDES sub-directory (C(--remove-user-files)).
    type: bool
    default: false
  log:
    description:
      - Path on the managed host where the status log of the removal is written
        (C(--log)). Without it the log goes to a temporary file that is deleted
        once its text has been returned.
    type: path
  executable:
    description:
      - The KESTOVAN program to run, a name looked up on the PATH or a path.
    type: str
    default: kestovan
  fail_on_leftovers:
    description:
      - Whether exit status 3 (the removal finished but something was left behind)
        fails the task. When false the task is changed and a warning names what is left.
    type: bool
    default: true
notes:
  - Supports C(check_mode) and C(diff_mode).
  - Runs of the preview and the listing never lock the prefix; a removal holds
    C(kestovan.lock) in the prefix while it runs.
  - For Windows hosts, run C(KESTOVAN.EXE /quiet /log=...) with M(ansible.windows.win_command)
    and map its return codes 0, 1603, 1605, 1618 and 1602 (see the collection's examples).
requirements:
  - The POSIX build of KESTOVAN (C(kestovan)) on the managed host.
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
author:
  - KESTOVAN developers
'''

EXAMPLES = r'''
- name: Remove Tavori Viewer from the user's default prefix
  tavori.kestovan.viewer:
    state: absent

- name: Remove it from a given prefix, keeping the status log, waiting for another copy to end
  tavori.kestovan.viewer:
    prefix: /home/ana/.wine
    log: /var/log/kestovan-ana.log
  register: removal
  retries: 10
  delay: 5
  until: removal.rc | default(0) != 5

- name: Remove everything, user files included, and accept leftovers with a warning
  tavori.kestovan.viewer:
    prefix: /srv/wine/kiosk
    remove_user_files: true
    fail_on_leftovers: false
    executable: /opt/kestovan/bin/kestovan
'''

RETURN = r'''
rc:
  description: Exit status of C(kestovan) (of C(--quiet --preview) in check mode).
  returned: when kestovan ran
  type: int
  sample: 0
changes:
  description:
    - The changes of the removal, one string each, as C(kestovan --quiet --preview) lists them.
    - In check mode these are the changes a real run would make; in a real run, the changes
      the preview listed just before it.
  returned: when kestovan ran
  type: list
  elements: str
  sample: ["delete file C:\\Program Files\\Tavori Viewer\\TVIEWER.EXE", "delete group \"Tavori Software\""]
log:
  description: Text of the status log of the removal (lines ended by LF). Empty in check mode
    and when the program wrote no log.
  returned: when kestovan ran
  type: str
  sample: ">>  Tavori Viewer KESTOVAN  (Date/Time: 12/9/2026 9:41:07 AM)  <<\n..."
log_path:
  description: Where the status log was written, when I(log) was given.
  returned: when I(log) was given and the removal ran
  type: str
left:
  description:
    - The traces of Tavori Viewer still there after the run, as C(kestovan --list --json)
      shows them; after exit status 3 also what the program names on standard error and
      the status log's lines about what was not removed.
  returned: when kestovan ran
  type: list
  elements: str
  sample: ["C:\\Program Files\\Tavori Viewer\\README.TXT was not REMOVED."]
stdout:
  description: Standard output of the last C(kestovan) run.
  returned: when kestovan ran
  type: str
stderr:
  description: Standard error of the last C(kestovan) run.
  returned: when kestovan ran
  type: str
'''

import json
import os
import pwd
import tempfile

from ansible.module_utils.basic import AnsibleModule

EXIT_REMOVED = 0
EXIT_BAD_COMMAND_LINE = 2
EXIT_LEFT_BEHIND = 3
EXIT_NOTHING_TO_REMOVE = 4
EXIT_ANOTHER_COPY = 5
EXIT_STOPPED = 6


def default_prefix():
    prefix = os.environ.get('WINEPREFIX')
    if prefix:
        return prefix
    home = os.environ.get('HOME') or pwd.getpwuid(os.getuid()).pw_dir
    return os.path.join(home, '.wine')


def find_executable(module, name):
    if os.sep in name:
        path = name
        if not (os.path.isfile(path) and os.access(path, os.X_OK)):
            module.fail_json(msg='the KESTOVAN program %s is not an executable file' % path)
        return path
    return module.get_bin_path(name, required=True)


def decode(data):
    if isinstance(data, bytes):
        return data.decode('utf-8', errors='replace')
    return data


def lines_of(text):
    return [line for line in decode(text).replace('\r\n', '\n').split('\n') if line.strip()]


def listing(module, base):
    """What `kestovan --list --json` shows, as (text, parsed object or None)."""
    rc, out, err = module.run_command(base + ['--list', '--json'])
    if rc != 0:
        return decode(err) or decode(out), None
    try:
        return decode(out), json.loads(out)
    except ValueError:
        return decode(out), None


def traces_in(parsed):
    """The traces a listing names, one string each."""
    traces = []
    if not isinstance(parsed, dict):
        return traces
    for app in parsed.get('applications') or []:
        if isinstance(app, dict) and app.get('found'):
            where = app.get('directory') or app.get('settingsPath') or ''
            traces.append(('%s %s' % (app.get('name', ''), where)).strip())
    for key, value in parsed.items():
        if key == 'applications' or not isinstance(value, list):
            continue
        for item in value:
            if isinstance(item, dict):
                item = item.get('path') or item.get('name') or json.dumps(item, sort_keys=True)
            traces.append(str(item))
    return traces


def unique(items):
    seen = set()
    result = []
    for item in items:
        if item not in seen:
            seen.add(item)
            result.append(item)
    return result


def main():
    module = AnsibleModule(
        argument_spec=dict(
            prefix=dict(type='path'),
            state=dict(type='str', default='absent', choices=['absent']),
            remove_user_files=dict(type='bool', default=False),
            log=dict(type='path'),
            executable=dict(type='str', default='kestovan'),
            fail_on_leftovers=dict(type='bool', default=True),
        ),
        supports_check_mode=True,
    )
    prefix = module.params['prefix'] or default_prefix()
    executable = find_executable(module, module.params['executable'])
    base = [executable, '--machine', prefix]
    quiet = ['--quiet']
    if module.params['remove_user_files']:
        quiet.append('--remove-user-files')

    before_text, _ = listing(module, base) if module._diff else ('', None)

    # The preview changes nothing and exits with the real run's status.
    rc, out, err = module.run_command(base + quiet + ['--preview'])
    changes = lines_of(out) if rc in (EXIT_REMOVED, EXIT_LEFT_BEHIND) else []
    # failed is given: a result with a non-zero rc counts as failed otherwise.
    result = dict(changed=False, failed=False, rc=rc, changes=changes, log='', left=[], stdout=decode(out),
                  stderr=decode(err), prefix=prefix)
    program_message = ' '.join(lines_of(err))

    if rc == EXIT_ANOTHER_COPY:
        module.fail_json(msg='another copy is running: %s' % (program_message or prefix), **result)
    if rc not in (EXIT_REMOVED, EXIT_LEFT_BEHIND, EXIT_NOTHING_TO_REMOVE):
        module.fail_json(msg=program_message or 'kestovan --quiet --preview exited with %d' % rc,
                         **result)

    if module.check_mode:
        result['changed'] = bool(changes)
        if module._diff:
            result['diff'] = dict(before_header='%s (kestovan --list --json)' % prefix,
                                  after_header='%s (kestovan --list --json)' % prefix,
                                  before=before_text, after=before_text,
                                  prepared='\n'.join(changes) + ('\n' if changes else ''))
        module.exit_json(**result)

    if rc == EXIT_NOTHING_TO_REMOVE:
        # Nothing was found: the real run would change nothing either.
        result['msg'] = program_message or 'nothing to remove'
        if module._diff:
            result['diff'] = dict(before=before_text, after=before_text)
        module.exit_json(**result)

    log_path = module.params['log']
    temporary_log = None
    if not log_path:
        handle, temporary_log = tempfile.mkstemp(prefix='kestovan-', suffix='.log')
        os.close(handle)
        os.unlink(temporary_log)  # the program writes the log only when it shows its report
        log_path = temporary_log
    try:
        rc, out, err = module.run_command(base + quiet + ['--log', log_path])
        log_text = ''
        if os.path.exists(log_path):
            with open(log_path, 'rb') as handle:
                log_text = '\n'.join(lines_of(handle.read().decode('cp1252', errors='replace')))
                log_text += '\n' if log_text else ''
    finally:
        if temporary_log and os.path.exists(temporary_log):
            os.unlink(temporary_log)

    after_text, after = listing(module, base)
    program_message = ' '.join(lines_of(err))
    # After exit 3 the program names what is left on standard error, and the log's
    # "(-)" lines say what was not removed.
    stderr_traces, not_removed = [], []
    if rc == EXIT_LEFT_BEHIND:
        stderr_traces = lines_of(err)
        not_removed = [line[4:] for line in lines_of(log_text) if line.startswith('(-) ')]
    result.update(rc=rc, log=log_text, stdout=decode(out), stderr=decode(err),
                  left=unique(traces_in(after) + stderr_traces + not_removed))
    if module.params['log']:
        result['log_path'] = log_path
    if module._diff:
        result['diff'] = dict(before_header='%s (kestovan --list --json)' % prefix,
                              after_header='%s (kestovan --list --json)' % prefix,
                              before=before_text, after=after_text)

    if rc == EXIT_REMOVED:
        result['changed'] = True
        result['msg'] = 'Tavori Viewer was removed'
        module.exit_json(**result)
    if rc == EXIT_LEFT_BEHIND:
        result['changed'] = True
        left = '; '.join(result['left']) or 'see the status log'
        message = 'Tavori Viewer was removed, but something was left behind: %s' % left
        if module.params['fail_on_leftovers']:
            module.fail_json(msg=message, **result)
        result['msg'] = message
        module.warn(message)
        module.exit_json(**result)
    if rc == EXIT_NOTHING_TO_REMOVE:
        result['msg'] = program_message or 'nothing to remove'
        module.exit_json(**result)
    if rc == EXIT_ANOTHER_COPY:
        module.fail_json(msg='another copy is running: %s' % (program_message or prefix), **result)
    if rc == EXIT_STOPPED:
        module.fail_json(msg=program_message or 'the removal was stopped', **result)
    module.fail_json(msg=program_message or 'kestovan --quiet exited with %d' % rc, **result)


if __name__ == '__main__':
    main()
