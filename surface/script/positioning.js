    // ---- positioning ---------------------------------------------------------------

    // What Make 2D and Make 1D act on: a selected object, or the positioned
    // element around the selection. A paragraph is not lifted out of the flow.
    function positioningTarget() {
        return positionedOf(anchorElement()) || (isControlSelected() ? controlEl : null);
    }

    function toggledPosition(target) {
        const copy = target.cloneNode(true);
        if (target.style.position === 'absolute') {
            for (const p of ['position', 'left', 'top', 'z-index'])
                copy.style.removeProperty(p);
        } else {
            const box = target.getBoundingClientRect();
            const parent = target.offsetParent || document.body;
            const base = parent === document.body ? {left: -window.scrollX, top: -window.scrollY}
                                                  : parent.getBoundingClientRect();
            copy.style.position = 'absolute';
            copy.style.left = Math.round(box.left - base.left) + 'px';
            copy.style.top = Math.round(box.top - base.top) + 'px';
        }
        if (copy.getAttribute('style') === '')
            copy.removeAttribute('style');
        return copy;
    }

    // An object goes back in through the engine's HTML insertion, so that one
    // undo puts it back where it was. A block cannot (the insertion merges it
    // with its neighbours): its style is set on the element itself, which
    // does not undo.
    qk.toggleAbsolute = function () {
        const target = positioningTarget();
        if (!target || target === document.body)
            return {ok: false, snap: snapshot()};
        const copy = toggledPosition(target);
        if (!CONTROL_TAGS.has(target.tagName)) {
            target.setAttribute('style', copy.getAttribute('style') || '');
            if (!copy.hasAttribute('style'))
                target.removeAttribute('style');
            flushMutations();
            return {ok: true, snap: snapshot()};
        }
        const html = copy.outerHTML;
        const r = document.createRange();
        r.selectNode(target);
        restoreRange(r);
        flushMutations();
        pasteRecords = [];
        let ok = false;
        try {
            ok = document.execCommand('insertHTML', false, html);
            flushMutations();
        } finally {
            const records = pasteRecords;
            pasteRecords = null;
            if (ok)
                rememberFragment(html, records);
        }
        // The object stays selected, as it was before.
        const after = selectionRange();
        const placed = after && after.startContainer.childNodes[after.startOffset - 1];
        if (placed && placed.tagName === target.tagName)
            selectControl(placed);
        return {ok: !!ok, snap: snapshot()};
    };

    let snap = false;
    qk.setSnap = function (on) { snap = !!on; return true; };

    function startDrag(e, el) {
        const startX = e.clientX, startY = e.clientY;
        const left0 = parseFloat(el.style.left) || 0, top0 = parseFloat(el.style.top) || 0;
        const move = (ev) => {
            let x = left0 + ev.clientX - startX, y = top0 + ev.clientY - startY;
            if (snap) { x = Math.round(x / 8) * 8; y = Math.round(y / 8) * 8; }
            el.style.left = x + 'px';
            el.style.top = y + 'px';
            ev.preventDefault();
        };
        const up = () => {
            document.removeEventListener('mousemove', move, true);
            document.removeEventListener('mouseup', up, true);
            flushMutations();
            schedulePush();
        };
        document.addEventListener('mousemove', move, true);
        document.addEventListener('mouseup', up, true);
    }
